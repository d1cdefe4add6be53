#include "app/CLumeq.h"

#include <cstdint>

#include "display/LumeqIds.h"

CLumeq::~CLumeq() {
    Detach();
}

component::Result CLumeq::Create(QWidget* parent, const QRect& geometry,
                                 std::span<const std::uint8_t> savedState, const Creator& creator) {
    Detach();
    using namespace component;
    Ref<Unknown> object;
    Result r = creator ? creator(kClassId, kIidUnknown, object.Out()) : kClassNotRegistered;
    if (Failed(r))
        return r;
    if (!object)
        return kNoInterface;
    Ref<Dispatch> dispatch = object.Query<Dispatch>(kIidDispatch);
    if (!dispatch)
        return kNoInterface;
    if (Ref<PersistState> persist = object.Query<PersistState>(kIidPersistState)) {
        r = savedState.empty() ? persist->InitNew() : persist->Load(savedState);
        if (Failed(r))
            return r;
    }
    Ref<InPlaceObject> inPlace = object.Query<InPlaceObject>(kIidInPlaceObject);
    if (inPlace && parent) {
        r = inPlace->Activate(parent, geometry);
        if (Failed(r))
            return r;
    }
    m_dispatch = std::move(dispatch);
    m_inPlace = std::move(inPlace);
    return kOk;
}

void CLumeq::Detach() {
    if (m_inPlace)
        m_inPlace->Deactivate();
    m_inPlace.Reset();
    m_dispatch.Reset();
}

QWidget* CLumeq::Widget() const {
    return m_inPlace ? m_inPlace->Widget() : nullptr;
}

void CLumeq::SetWM(short chWMval) {
    InvokeShort(lumeq::kDispIdSetWM, chWMval);
}
void CLumeq::SetSign(short chSignVal) {
    InvokeShort(lumeq::kDispIdSetSign, chSignVal);
}
void CLumeq::SetUnit(short chUnitVal) {
    InvokeShort(lumeq::kDispIdSetUnit, chUnitVal);
}
void CLumeq::SetHex1(short chHex1Val) {
    InvokeShort(lumeq::kDispIdSetHex1, chHex1Val);
}
void CLumeq::SetHex2(short chHex2Val) {
    InvokeShort(lumeq::kDispIdSetHex2, chHex2Val);
}
void CLumeq::SetHex3(short chHex3Val) {
    InvokeShort(lumeq::kDispIdSetHex3, chHex3Val);
}
void CLumeq::SetHex4(short chHex4Val) {
    InvokeShort(lumeq::kDispIdSetHex4, chHex4Val);
}
void CLumeq::SetHex5(short chHex5Val) {
    InvokeShort(lumeq::kDispIdSetHex5, chHex5Val);
}
void CLumeq::SetHex6(short chHex6Val) {
    InvokeShort(lumeq::kDispIdSetHex6, chHex6Val);
}
void CLumeq::SetValues(const scale::Slots& values) {
    SetWM(values.wm);
    SetSign(values.sign);
    SetUnit(values.unit);
    SetHex1(values.hex[0]);
    SetHex2(values.hex[1]);
    SetHex3(values.hex[2]);
    SetHex4(values.hex[3]);
    SetHex5(values.hex[4]);
    SetHex6(values.hex[5]);
}
void CLumeq::Display() {
    Invoke(lumeq::kDispIdDisplay, {});
}
void CLumeq::SetBackColor(long Backcolor) {
    InvokeLong(lumeq::kDispIdSetBackColor, Backcolor);
}
void CLumeq::SetForeColor1(long ForeColor1) {
    InvokeLong(lumeq::kDispIdSetForeColor1, ForeColor1);
}
void CLumeq::SetForeColor2(long ForeColor2) {
    InvokeLong(lumeq::kDispIdSetForeColor2, ForeColor2);
}
void CLumeq::AboutBox() {
    Invoke(lumeq::kDispIdAboutBox, {});
}

void CLumeq::InvokeShort(component::DispId id, short value) {
    const component::Variant arg = component::Variant::I2(static_cast<std::int16_t>(value));
    Invoke(id, std::span(&arg, 1));
}

void CLumeq::InvokeLong(component::DispId id, long value) {
    // A COLORREF travels as its 32 bits.
    const component::Variant arg = component::Variant::I4(static_cast<std::int32_t>(value));
    Invoke(id, std::span(&arg, 1));
}

void CLumeq::Invoke(component::DispId id, std::span<const component::Variant> args) {
    if (!m_dispatch)
        return;
    m_dispatch->Invoke(id, component::InvokeKind::Method, args, nullptr, nullptr);
}

void CLumeq::SetReadingNote(const std::string& note) {
    if (auto extra = m_dispatch.Query<component::ReadingNote>(component::kIidReadingNote))
        extra->SetReadingNote(note);
}

void CLumeq::SetReadingUnit(const std::string& unit) {
    if (auto extra = m_dispatch.Query<component::ReadingUnit>(component::kIidReadingUnit))
        extra->SetReadingUnit(unit);
}

void CLumeq::SetReadingCount(const std::string& count) {
    if (auto extra = m_dispatch.Query<component::ReadingCount>(component::kIidReadingCount))
        extra->SetReadingCount(count);
}

void CLumeq::SetFitToWidget(bool fit) {
    if (auto view = m_dispatch.Query<component::ScalableView>(component::kIidScalableView))
        view->SetFitToWidget(fit);
}
