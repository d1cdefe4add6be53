#pragma once

// The panel's handle on the segment display control: creates the control by class identifier,
// places it in the panel, and calls its methods by dispatch identifier. Nothing of the control's
// library is linked; every call is a late-bound Invoke with typed arguments.
//
// Thread: UI thread only. While unattached (before Create, after Detach) every method call does
// nothing.

#include <QRect>

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "display/LumeqIds.h"
#include "platform/component/Guid.h"
#include "platform/component/Interfaces.h"
#include "platform/component/Ref.h"
#include "scale/Protocol.h"

class QWidget;

class CLumeq {
  public:
    static constexpr component::Guid kClassId = lumeq::kClsidLumeqCtrl;

    // Creates one object of a class, as component::CreateInstance does.
    using Creator =
        std::function<component::Result(const component::Guid&, const component::Guid&, void**)>;

    CLumeq() = default;
    ~CLumeq();
    CLumeq(const CLumeq&) = delete;
    CLumeq& operator=(const CLumeq&) = delete;

    // Creates the control, loads `savedState` into it and activates it inside `parent` at
    // `geometry`. On failure nothing is kept and the failing step's result is returned.
    component::Result Create(QWidget* parent, const QRect& geometry,
                             std::span<const std::uint8_t> savedState, const Creator& creator);

    // Deactivates the control (its widget leaves the panel) and lets go of it.
    void Detach();
    bool IsAttached() const { return static_cast<bool>(m_dispatch); }
    // The control's widget while it is active in place, else null.
    QWidget* Widget() const;

    void SetWM(short chWMval);
    void SetSign(short chSignVal);
    void SetUnit(short chUnitVal);
    void SetHex1(short chHex1Val);
    void SetHex2(short chHex2Val);
    void SetHex3(short chHex3Val);
    void SetHex4(short chHex4Val);
    void SetHex5(short chHex5Val);
    void SetHex6(short chHex6Val);
    // A frame's nine values, one setter each in the frame's order (WM first); no repaint.
    void SetValues(const scale::Slots& values);
    void Display();
    void SetBackColor(long Backcolor);
    void SetForeColor1(long ForeColor1);
    void SetForeColor2(long ForeColor2);
    void AboutBox();

    // Beyond the automation members, for a control that offers them (else nothing happens):
    // a note said before the reading (empty for none), a unit said after the figures that no
    // label shows (empty for none), a count made of the weight said before it ("101 pcs"; empty
    // for none), and a picture fitted to the widget.
    void SetReadingNote(const std::string& note);
    void SetReadingUnit(const std::string& unit);
    void SetReadingCount(const std::string& count);
    void SetFitToWidget(bool fit);

  private:
    void InvokeShort(component::DispId id, short value);
    void InvokeLong(component::DispId id, long value);
    void Invoke(component::DispId id, std::span<const component::Variant> args);

    component::Ref<component::Dispatch> m_dispatch;
    component::Ref<component::InPlaceObject> m_inPlace;
};
