#pragma once

// The interfaces that a component library and its host share. Both sides are built by the same
// compiler, so these are plain C++ abstract classes; once an interface is used it never changes,
// a new capability is a new interface found through QueryInterface.
//
// Unless an interface says otherwise, every method is called on the thread that created the
// object (the host's UI thread).

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/component/Guid.h"
#include "platform/component/Result.h"
#include "platform/component/Variant.h"

class QWidget;
class QRect;
class QImage;

namespace component {

using DispId = std::int32_t;
inline constexpr DispId kDispIdAboutBox = -552;

// Reference counting starts at 1 for the creator; Release destroys the object at 0.
// Any thread may call AddRef and Release.
class Unknown {
  public:
    virtual Result QueryInterface(const Guid& iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

  protected:
    ~Unknown() = default;
};
inline constexpr Guid kIidUnknown = MakeGuid("{00000000-0000-0000-C000-000000000046}");

class ClassFactory : public Unknown {
  public:
    // `outer` must be null: no class here supports aggregation (kNoAggregation otherwise).
    virtual Result CreateInstance(Unknown* outer, const Guid& iid, void** out) = 0;
    // While a lock is held the library answers that it cannot be unloaded.
    virtual Result LockServer(bool lock) = 0;

  protected:
    ~ClassFactory() = default;
};
inline constexpr Guid kIidClassFactory = MakeGuid("{00000001-0000-0000-C000-000000000046}");

enum class InvokeKind : std::uint16_t { Method = 1, PropertyGet = 2, PropertyPut = 4 };

// Late-bound calls by member id with typed arguments.
class Dispatch : public Unknown {
  public:
    // Resolves member names (case-insensitive); unknown names give kUnknownName and the id -1.
    virtual Result GetIdsOfNames(std::span<const char* const> names, DispId* ids) = 0;
    // `args` are in call order (first parameter first). Arguments are converted to the member's
    // declared types before it runs; a failed conversion gives kTypeMismatch or kOverflow, sets
    // `argError` (if given) to the argument's index, and the member does not run. A wrong count
    // is kBadParamCount, an unknown id kMemberNotFound. `result` may be null.
    virtual Result Invoke(DispId id, InvokeKind kind, std::span<const Variant> args,
                          Variant* result, std::uint32_t* argError) = 0;

  protected:
    ~Dispatch() = default;
};
inline constexpr Guid kIidDispatch = MakeGuid("{00020400-0000-0000-C000-000000000046}");

// Saved state of a control as a byte record (little-endian fields).
class PersistState : public Unknown {
  public:
    virtual Result Load(std::span<const std::uint8_t> data) = 0;
    virtual Result Save(std::vector<std::uint8_t>* data) = 0;
    virtual Result InitNew() = 0;

  protected:
    ~PersistState() = default;
};
inline constexpr Guid kIidPersistState = MakeGuid("{7FD52380-4E07-101B-AE2D-08002B2FC09B}");

// Renders the control's picture into an image, as its paint does. `bounds` is in the image's
// coordinates; the image must be in QImage::Format_RGB32.
class ViewObject : public Unknown {
  public:
    virtual Result Draw(QImage* target, const QRect& bounds) = 0;

  protected:
    ~ViewObject() = default;
};
inline constexpr Guid kIidViewObject = MakeGuid("{0000010D-0000-0000-C000-000000000046}");

// A control that lives as a child widget of its host. The control creates and owns the widget;
// Deactivate (or the control's destruction) removes it from the host.
class InPlaceObject : public Unknown {
  public:
    virtual Result Activate(QWidget* parent, const QRect& geometry) = 0;
    virtual Result Deactivate() = 0;
    // The active widget, or null.
    virtual QWidget* Widget() = 0;
    // Shows the control's property pages, modal to `parent`.
    virtual Result ShowProperties(QWidget* parent) = 0;

  protected:
    ~InPlaceObject() = default;
};
inline constexpr Guid kIidInPlaceObject = MakeGuid("{6D0F1E2A-3B4C-4E58-9A61-7C8D9E0F1A2B}");

// A control that reads its picture out to assistive technology can be told what the picture
// cannot show, such as that the host's source has closed and the picture is its last one.
// Host's UI thread.
class ReadingNote : public Unknown {
  public:
    // Said before the reading (UTF-8); empty for none. The reading's text says it at once.
    virtual Result SetReadingNote(std::string_view note) = 0;

  protected:
    ~ReadingNote() = default;
};
inline constexpr Guid kIidReadingNote = MakeGuid("{3B7E2C41-9D5A-4F08-B6E3-51A0C2D9E7F4}");

// A control whose unit labels cannot show the unit of what it shows (g, ct, pcs) says that unit
// after the figures. Host's UI thread.
class ReadingUnit : public Unknown {
  public:
    // UTF-8; empty for none (the lit labels say the unit).
    virtual Result SetReadingUnit(std::string_view unit) = 0;

  protected:
    ~ReadingUnit() = default;
};
inline constexpr Guid kIidReadingUnit = MakeGuid("{8C41D0E7-2F6B-4A93-9E15-B7D3A60C28F1}");

// A control that shows a weight can be told a count made of it (101 pcs), said before the
// weight; the picture stays the weight. Host's UI thread.
class ReadingCount : public Unknown {
  public:
    // UTF-8; empty for none.
    virtual Result SetReadingCount(std::string_view count) = 0;

  protected:
    ~ReadingCount() = default;
};
inline constexpr Guid kIidReadingCount = MakeGuid("{5E2A9C17-B04D-4F63-8D21-C6E7A83F19B5}");

// A control whose picture has a natural size can fill its active widget with the picture at the
// largest scale that keeps its proportions, drawn for that scale, never an enlarged image.
// Host's UI thread.
class ScalableView : public Unknown {
  public:
    virtual Result SetFitToWidget(bool fit) = 0;

  protected:
    ~ScalableView() = default;
};
inline constexpr Guid kIidScalableView = MakeGuid("{8C14F6A2-5E3B-4D97-A0C8-2F6B9E1D4A73}");

// Function type of the exports a component library provides.
using GetClassObjectFn = Result (*)(const Guid* clsid, const Guid* iid, void** out);
using CanUnloadNowFn = Result (*)();
using RegisterServerFn = Result (*)();
// Optional export "DllGetErrorText": why the library's last call failed on the calling thread,
// in its own words (each library keeps its own copy of this layer); valid until its next call.
using GetErrorTextFn = const char* (*)();

}  // namespace component
