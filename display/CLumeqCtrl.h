#pragma once

// The segment display control: nine value slots and three colours, driven by member id.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <QPointer>
#include <QString>

#include "display/CLumeqWnd.h"
#include "display/paint/SegmentPainter.h"
#include "platform/component/Identity.h"
#include "platform/component/Interfaces.h"
#include "platform/component/Ref.h"
#include "scale/Protocol.h"

namespace lumeq {

// Created by its class factory with one reference for the creator; destroyed by the last
// Release. Every method runs on the host's UI thread, the thread that created the control.
class CLumeqCtrl final : public component::RefCounted,
                         public component::Dispatch,
                         public component::PersistState,
                         public component::ViewObject,
                         public component::InPlaceObject,
                         public component::ControlIdentity,
                         public component::ReadingNote,
                         public component::ReadingUnit,
                         public component::ReadingCount,
                         public component::ScalableView {
  public:
    // `counter` counts the control among the library's live objects.
    explicit CLumeqCtrl(component::ModuleCounter* counter);

    component::Result QueryInterface(const component::Guid& iid, void** out) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    component::Result GetIdsOfNames(std::span<const char* const> names,
                                    component::DispId* ids) override;
    component::Result Invoke(component::DispId id, component::InvokeKind kind,
                             std::span<const component::Variant> args, component::Variant* result,
                             std::uint32_t* argError) override;

    // The saved state is the format version, the extent and the stock-property mask; it never
    // carries the slots or the colours.
    component::Result Load(std::span<const std::uint8_t> data) override;
    component::Result Save(std::vector<std::uint8_t>* data) override;
    component::Result InitNew() override;

    component::Result Draw(QImage* target, const QRect& bounds) override;

    component::Result Activate(QWidget* parent, const QRect& geometry) override;
    component::Result Deactivate() override;
    QWidget* Widget() override;
    component::Result ShowProperties(QWidget* parent) override;

    component::Result SetReadingNote(std::string_view note) override;
    component::Result SetReadingUnit(std::string_view unit) override;
    component::Result SetReadingCount(std::string_view count) override;
    component::Result SetFitToWidget(bool fit) override;

    component::Result GetClassId(component::Guid* clsid) override;
    const char* RuntimeClassName() override;
    component::Result GetUserTypeName(std::string_view* name) override;
    component::Result GetMiscStatus(std::uint32_t* status) override;
    component::Result GetTypeInfoCount(std::uint32_t* count) override;
    // LumeqLib is locale neutral: every locale gets the same library.
    component::Result GetTypeLibrary(std::uint32_t lcid,
                                     const component::TypeLibraryInfo** library) override;
    component::Result GetPropertyPages(std::span<const component::Guid>* pages) override;

    // The automation members. Setters only store: nothing is repainted until Display.
    void SetWM(std::int16_t chWMval);
    void SetSign(std::int16_t chSignVal);
    void SetUnit(std::int16_t chUnitVal);
    void SetHex1(std::int16_t chHex1Val);
    void SetHex2(std::int16_t chHex2Val);
    void SetHex3(std::int16_t chHex3Val);
    void SetHex4(std::int16_t chHex4Val);
    void SetHex5(std::int16_t chHex5Val);
    void SetHex6(std::int16_t chHex6Val);
    void Display();
    void SetBackColor(std::int32_t Backcolor);
    void SetForeColor1(std::int32_t ForeColor1);
    void SetForeColor2(std::int32_t ForeColor2);
    // kUnexpected when the host runs no widget application to show the box in.
    component::Result AboutBox();

    // Drawing: a whole paint pass into an image.
    void OnDraw(QImage* target, const QRect& bounds) const;
    DisplayState State() const;
    // What the picture shows, read as text, with the host's note before it.
    QString ReadingText() const;

    // The classes of the property pages the control lists, built once.
    static std::span<const component::Guid> PropertyPages();

    // The active widget reports its new size.
    void OnSize(int widthPx, int heightPx);

  private:
    ~CLumeqCtrl() override;

    std::uint8_t Hex6 = 0xFF;
    std::uint8_t Hex5 = 0xFF;
    std::uint8_t Hex4 = 0xFF;
    std::uint8_t Hex3 = 0xFF;
    std::uint8_t Hex2 = 0xFF;
    std::uint8_t Hex1 = 0xFF;
    std::uint8_t Unit = 0xFF;
    std::uint8_t Sign = 0xFF;
    std::uint8_t WM = 0xFF;
    ColorRef ForeColor2 = 0x009C9C9C;
    ColorRef ForeColor1 = 0x0000FF00;
    ColorRef BackColor = 0x009C9C9C;

    // What a container would keep for any control: its extent and its window while active.
    std::int32_t m_cxExtent;
    std::int32_t m_cyExtent;
    QPointer<CLumeqWnd> m_pWnd;
    // The cells whose reading the window was last told by Display.
    std::optional<scale::Slots> m_spokenFor;
    std::string m_readingNote;
    std::string m_readingUnit;
    std::string m_readingCount;
    bool m_fitToWidget = false;

    SpokenReading Spoken() const;
};

}  // namespace lumeq
