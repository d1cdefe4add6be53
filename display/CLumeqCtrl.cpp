#include "display/CLumeqCtrl.h"

#include <QApplication>
#include <QImage>
#include <QRect>

#include "display/CLumeqAboutDlg.h"
#include "display/CLumeqWnd.h"
#include "display/CModuleState.h"
#include "display/CPropertyFrame.h"
#include "display/CTypeLibCache.h"
#include "display/DestroyWidget.h"
#include "display/LumeqIds.h"
#include "display/LumeqMembers.h"
#include "display/LumeqServer.h"
#include "display/PropertyPage.h"
#include "display/res/LumeqStrings.h"
#include "scale/Reading.h"

namespace lumeq {

using component::Result;

namespace {

constexpr std::uint32_t kStateVersion = 0x00010000;  // major 1, minor 0
constexpr std::size_t kStateSize = 16;

// Containers exchange sizes in HIMETRIC (0.01 mm); screens here count 96 pixels to the inch.
std::int32_t PixelsToHimetric(int px) {
    const std::int64_t scaled = std::int64_t{px} * 2540;
    return static_cast<std::int32_t>(scaled >= 0 ? (scaled + 48) / 96 : (scaled - 48) / 96);
}

std::uint8_t LowByte(std::int16_t value) {
    return static_cast<std::uint8_t>(static_cast<std::uint16_t>(value) & 0xFF);
}

void PutLe32(std::vector<std::uint8_t>* out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out->push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t GetLe32(std::span<const std::uint8_t> in, std::size_t at) {
    return std::uint32_t{in[at]} | std::uint32_t{in[at + 1]} << 8 |
           std::uint32_t{in[at + 2]} << 16 | std::uint32_t{in[at + 3]} << 24;
}

// Dialogs need a widget application; a host that runs only a core application gets an error
// instead of a crash.
bool HasWidgetApplication() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

// A new control has the size a container gives one before it sizes it: 100 by 50 pixels.
CLumeqCtrl::CLumeqCtrl(component::ModuleCounter* counter)
    : RefCounted(counter), m_cxExtent(PixelsToHimetric(100)), m_cyExtent(PixelsToHimetric(50)) {}

CLumeqCtrl::~CLumeqCtrl() {
    DestroyWidget(m_pWnd);
}

Result CLumeqCtrl::QueryInterface(const component::Guid& iid, void** out) {
    if (out == nullptr)
        return component::kNullPointer;
    if (iid == component::kIidUnknown || iid == component::kIidDispatch || iid == kIidDLumeq) {
        *out = static_cast<component::Dispatch*>(this);
    } else if (iid == component::kIidPersistState) {
        *out = static_cast<component::PersistState*>(this);
    } else if (iid == component::kIidViewObject) {
        *out = static_cast<component::ViewObject*>(this);
    } else if (iid == component::kIidInPlaceObject) {
        *out = static_cast<component::InPlaceObject*>(this);
    } else if (iid == component::kIidObjectIdentity || iid == component::kIidControlIdentity) {
        *out = static_cast<component::ControlIdentity*>(this);
    } else if (iid == component::kIidReadingNote) {
        *out = static_cast<component::ReadingNote*>(this);
    } else if (iid == component::kIidReadingUnit) {
        *out = static_cast<component::ReadingUnit*>(this);
    } else if (iid == component::kIidReadingCount) {
        *out = static_cast<component::ReadingCount*>(this);
    } else if (iid == component::kIidScalableView) {
        *out = static_cast<component::ScalableView*>(this);
    } else {
        *out = nullptr;
        return component::kNoInterface;
    }
    AddRef();
    return component::kOk;
}

std::uint32_t CLumeqCtrl::AddRef() {
    return AddRefImpl();
}

std::uint32_t CLumeqCtrl::Release() {
    return ReleaseImpl();
}

Result CLumeqCtrl::GetIdsOfNames(std::span<const char* const> names, component::DispId* ids) {
    return LumeqDispatchTable().GetIdsOfNames(names, ids);
}

Result CLumeqCtrl::Invoke(component::DispId id, component::InvokeKind kind,
                          std::span<const component::Variant> args, component::Variant* result,
                          std::uint32_t* argError) {
    CModuleStateScope scope(LumeqModuleState());
    std::vector<component::Variant> converted;
    const Result r = LumeqDispatchTable().Prepare(id, kind, args, &converted, argError);
    if (component::Failed(r))
        return r;
    if (result != nullptr)
        *result = component::Variant();
    return LumeqMemberRunner(id)(*this, converted);
}

Result CLumeqCtrl::Load(std::span<const std::uint8_t> data) {
    if (data.size() < kStateSize)
        return component::kInvalidArgument;
    // Any format version is accepted; the record holds the extent and a stock-property mask,
    // and the control has no stock properties to read.
    m_cxExtent = static_cast<std::int32_t>(GetLe32(data, 4));
    m_cyExtent = static_cast<std::int32_t>(GetLe32(data, 8));
    return component::kOk;
}

Result CLumeqCtrl::Save(std::vector<std::uint8_t>* data) {
    if (data == nullptr)
        return component::kNullPointer;
    data->clear();
    PutLe32(data, kStateVersion);
    PutLe32(data, static_cast<std::uint32_t>(m_cxExtent));
    PutLe32(data, static_cast<std::uint32_t>(m_cyExtent));
    PutLe32(data, 0);  // no stock properties saved
    return component::kOk;
}

Result CLumeqCtrl::InitNew() {
    return component::kOk;
}

Result CLumeqCtrl::Draw(QImage* target, const QRect& bounds) {
    if (target == nullptr)
        return component::kNullPointer;
    if (target->isNull() || target->format() != QImage::Format_RGB32 || bounds.right() < 0 ||
        bounds.bottom() < 0)
        return component::kInvalidArgument;
    OnDraw(target, bounds);
    return component::kOk;
}

Result CLumeqCtrl::Activate(QWidget* parent, const QRect& geometry) {
    if (parent == nullptr)
        return component::kInvalidArgument;
    if (!HasWidgetApplication())
        return component::kUnexpected;
    if (m_pWnd == nullptr) {
        m_pWnd = new CLumeqWnd(*this, parent);  // owned with the parent, see DestroyWidget
    } else if (m_pWnd->parentWidget() != parent) {
        m_pWnd->setParent(parent);
    }
    m_pWnd->setGeometry(geometry);
    m_pWnd->SetFit(m_fitToWidget);
    m_pWnd->SetReading(Spoken());
    OnSize(geometry.width(), geometry.height());
    m_pWnd->show();
    return component::kOk;
}

Result CLumeqCtrl::Deactivate() {
    DestroyWidget(m_pWnd);
    return component::kOk;
}

QWidget* CLumeqCtrl::Widget() {
    return m_pWnd;
}

Result CLumeqCtrl::ShowProperties(QWidget* parent) {
    CModuleStateScope scope(LumeqModuleState());
    if (!HasWidgetApplication())
        return component::kUnexpected;
    // The host might let go of the control while the frame's loop runs.
    AddRef();
    component::Ref<CLumeqCtrl> self = component::Ref<CLumeqCtrl>::Adopt(this);

    const std::string_view name = LoadLumeqString(IDS_LUMEQ);
    CPropertyFrame frame(parent,
                         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
                             QStringLiteral(" Properties"));
    component::Unknown* const objects[] = {static_cast<component::Dispatch*>(this)};
    for (const component::Guid& clsid : PropertyPages()) {
        component::Ref<component::ClassFactory> factory;
        Result r = LumeqGetClassObject(clsid, component::kIidClassFactory, factory.Out());
        if (component::Failed(r))
            return r;
        component::Ref<PropertyPage> page;
        r = factory->CreateInstance(nullptr, kIidPropertyPage, page.Out());
        if (component::Failed(r))
            return r;
        page->SetObjects(objects);
        r = frame.AddPage(std::move(page));
        if (component::Failed(r))
            return r;
    }
    frame.exec();
    return component::kOk;
}

Result CLumeqCtrl::SetReadingUnit(std::string_view unit) {
    if (m_readingUnit == unit)
        return component::kOk;
    m_readingUnit = unit;
    if (m_pWnd != nullptr)
        m_pWnd->SetReading(Spoken());
    return component::kOk;
}

Result CLumeqCtrl::SetReadingCount(std::string_view count) {
    if (m_readingCount == count)
        return component::kOk;
    m_readingCount = count;
    if (m_pWnd != nullptr)
        m_pWnd->SetReading(Spoken());
    return component::kOk;
}

Result CLumeqCtrl::SetReadingNote(std::string_view note) {
    m_readingNote = note;
    // Told at once: a closed source is news even while the picture stays.
    if (m_pWnd != nullptr)
        m_pWnd->SetReading(Spoken());
    return component::kOk;
}

Result CLumeqCtrl::SetFitToWidget(bool fit) {
    m_fitToWidget = fit;
    if (m_pWnd != nullptr)
        m_pWnd->SetFit(fit);
    return component::kOk;
}

Result CLumeqCtrl::GetClassId(component::Guid* clsid) {
    if (clsid == nullptr)
        return component::kNullPointer;
    *clsid = kClsidLumeqCtrl;
    return component::kOk;
}

const char* CLumeqCtrl::RuntimeClassName() {
    return "CLumeqCtrl";
}

Result CLumeqCtrl::GetUserTypeName(std::string_view* name) {
    if (name == nullptr)
        return component::kNullPointer;
    CModuleStateScope scope(LumeqModuleState());
    *name = LoadLumeqString(IDS_LUMEQ);
    return component::kOk;
}

Result CLumeqCtrl::GetMiscStatus(std::uint32_t* status) {
    if (status == nullptr)
        return component::kNullPointer;
    *status = kLumeqMiscStatus;
    return component::kOk;
}

Result CLumeqCtrl::GetTypeInfoCount(std::uint32_t* count) {
    if (count == nullptr)
        return component::kNullPointer;
    *count = 1;
    return component::kOk;
}

Result CLumeqCtrl::GetTypeLibrary(std::uint32_t, const component::TypeLibraryInfo** library) {
    CModuleStateScope scope(LumeqModuleState());
    return LumeqTypeLibCache().Lookup(library);
}

Result CLumeqCtrl::GetPropertyPages(std::span<const component::Guid>* pages) {
    if (pages == nullptr)
        return component::kNullPointer;
    *pages = PropertyPages();
    return component::kOk;
}

void CLumeqCtrl::SetWM(std::int16_t chWMval) {
    WM = LowByte(chWMval);
}
void CLumeqCtrl::SetSign(std::int16_t chSignVal) {
    Sign = LowByte(chSignVal);
}
void CLumeqCtrl::SetUnit(std::int16_t chUnitVal) {
    Unit = LowByte(chUnitVal);
}
void CLumeqCtrl::SetHex1(std::int16_t chHex1Val) {
    Hex1 = LowByte(chHex1Val);
}
void CLumeqCtrl::SetHex2(std::int16_t chHex2Val) {
    Hex2 = LowByte(chHex2Val);
}
void CLumeqCtrl::SetHex3(std::int16_t chHex3Val) {
    Hex3 = LowByte(chHex3Val);
}
void CLumeqCtrl::SetHex4(std::int16_t chHex4Val) {
    Hex4 = LowByte(chHex4Val);
}
void CLumeqCtrl::SetHex5(std::int16_t chHex5Val) {
    Hex5 = LowByte(chHex5Val);
}
void CLumeqCtrl::SetHex6(std::int16_t chHex6Val) {
    Hex6 = LowByte(chHex6Val);
}

void CLumeqCtrl::Display() {
    // Only asks for a paint: several requests before the window paints make one paint.
    if (m_pWnd == nullptr)
        return;
    m_pWnd->update();
    // The reading is read from the cells again only when they changed; the notes tell it
    // themselves when they change.
    const scale::Slots shown{WM, Sign, Unit, {Hex1, Hex2, Hex3, Hex4, Hex5, Hex6}};
    if (m_spokenFor == shown)
        return;
    m_spokenFor = shown;
    m_pWnd->SetReading(Spoken());
}

void CLumeqCtrl::SetBackColor(std::int32_t Backcolor) {
    BackColor = static_cast<ColorRef>(Backcolor);
}
void CLumeqCtrl::SetForeColor1(std::int32_t ForeColor1_) {
    ForeColor1 = static_cast<ColorRef>(ForeColor1_);
}
void CLumeqCtrl::SetForeColor2(std::int32_t ForeColor2_) {
    ForeColor2 = static_cast<ColorRef>(ForeColor2_);
}

Result CLumeqCtrl::AboutBox() {
    CModuleStateScope scope(LumeqModuleState());
    if (!HasWidgetApplication())
        return component::kUnexpected;
    AddRef();
    component::Ref<CLumeqCtrl> self = component::Ref<CLumeqCtrl>::Adopt(this);
    CLumeqAboutDlg dlg(nullptr);
    dlg.exec();
    return component::kOk;
}

void CLumeqCtrl::OnDraw(QImage* target, const QRect& bounds) const {
    PaintDisplay(target, bounds, State());
}

DisplayState CLumeqCtrl::State() const {
    DisplayState s;
    s.wm = WM;
    s.sign = Sign;
    s.unit = Unit;
    s.hex[0] = Hex1;
    s.hex[1] = Hex2;
    s.hex[2] = Hex3;
    s.hex[3] = Hex4;
    s.hex[4] = Hex5;
    s.hex[5] = Hex6;
    s.backColor = BackColor;
    s.foreColor1 = ForeColor1;
    return s;
}

QString CLumeqCtrl::ReadingText() const {
    return Spoken().text;
}

SpokenReading CLumeqCtrl::Spoken() const {
    const scale::Slots shown{WM, Sign, Unit, {Hex1, Hex2, Hex3, Hex4, Hex5, Hex6}};
    const scale::Reading read = scale::Read(shown);
    SpokenReading spoken;
    std::string text = scale::SpokenText(shown);
    spoken.weight = read.unit.empty() ? read.text : read.text + " " + read.unit;
    // The spoken text begins with the cells' text.
    if (!m_readingUnit.empty() && !read.text.empty()) {
        text.insert(read.text.size(), " " + m_readingUnit);
        spoken.weight += " " + m_readingUnit;
    }
    // The count is of the weight shown: nothing to count, nothing said.
    if (!m_readingCount.empty() && !read.text.empty()) {
        text = m_readingCount + ", " + text;
        spoken.weight = m_readingCount + ", " + spoken.weight;
    }
    if (!m_readingNote.empty()) {
        text = text.empty() ? m_readingNote : m_readingNote + ": " + text;
        spoken.weight += "\n" + m_readingNote;
    }
    spoken.text = QString::fromStdString(text);
    // A note is news at once; it does not drift.
    spoken.stable = read.indicators.stable || !m_readingNote.empty();
    if (read.number)
        spoken.value = read.number->value;
    return spoken;
}

std::span<const component::Guid> CLumeqCtrl::PropertyPages() {
    static const component::Guid kPages[] = {kClsidLumeqPropPage};
    return kPages;
}

void CLumeqCtrl::OnSize(int widthPx, int heightPx) {
    m_cxExtent = PixelsToHimetric(widthPx);
    m_cyExtent = PixelsToHimetric(heightPx);
}

}  // namespace lumeq
