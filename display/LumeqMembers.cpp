#include "display/LumeqMembers.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "display/CLumeqCtrl.h"
#include "display/LumeqIds.h"

namespace lumeq {

namespace {

using component::DispatchMember;
using component::DispId;
using component::MemberInfo;
using component::ParamInfo;
using component::Result;
using component::Variant;
using component::VarType;
using Args = std::span<const Variant>;

// Arguments reach a runner already converted to the declared type, so the narrowing casts below
// cannot lose bits.
template <void (CLumeqCtrl::*Set)(std::int16_t)>
Result RunSlot(CLumeqCtrl& c, Args a) {
    (c.*Set)(static_cast<std::int16_t>(a[0].AsInteger()));
    return component::kOk;
}

template <void (CLumeqCtrl::*Set)(std::int32_t)>
Result RunColour(CLumeqCtrl& c, Args a) {
    (c.*Set)(static_cast<std::int32_t>(a[0].AsInteger()));
    return component::kOk;
}

Result RunDisplay(CLumeqCtrl& c, Args) {
    c.Display();
    return component::kOk;
}

Result RunAboutBox(CLumeqCtrl& c, Args) {
    return c.AboutBox();
}

struct MemberSpec {
    std::string_view name;
    std::string_view paramName;  // empty: the member takes no argument
    VarType paramType;
    DispId explicitId;  // 0: the member's id is its position, the first being 1
    MemberRunner run;
};

// The order is the order of the interface; hosts call by the ids it yields.
constexpr MemberSpec kSpecs[] = {
    {"SetWM", "chWMval", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetWM>},
    {"SetSign", "chSignVal", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetSign>},
    {"SetUnit", "chUnitVal", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetUnit>},
    {"SetHex1", "chHex1Val", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetHex1>},
    {"SetHex2", "chHex2Val", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetHex2>},
    {"SetHex3", "chHex3Val", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetHex3>},
    {"SetHex4", "chHex4Val", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetHex4>},
    {"SetHex5", "chHex5Val", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetHex5>},
    {"SetHex6", "chHex6Val", VarType::I2, 0, &RunSlot<&CLumeqCtrl::SetHex6>},
    {"Display", "", VarType::Empty, 0, &RunDisplay},
    {"SetBackColor", "Backcolor", VarType::I4, 0, &RunColour<&CLumeqCtrl::SetBackColor>},
    {"SetForeColor1", "ForeColor1", VarType::I4, 0, &RunColour<&CLumeqCtrl::SetForeColor1>},
    {"SetForeColor2", "ForeColor2", VarType::I4, 0, &RunColour<&CLumeqCtrl::SetForeColor2>},
    {"AboutBox", "", VarType::Empty, kDispIdAboutBox, &RunAboutBox},
};
constexpr std::size_t kCount = std::size(kSpecs);

constexpr DispId IdAt(std::size_t i) {
    return kSpecs[i].explicitId != 0 ? kSpecs[i].explicitId : static_cast<DispId>(i + 1);
}
constexpr std::size_t ParamCountAt(std::size_t i) {
    return kSpecs[i].paramName.empty() ? 0 : 1;
}

constexpr bool IdsAreUnique() {
    for (std::size_t i = 0; i < kCount; ++i) {
        for (std::size_t j = i + 1; j < kCount; ++j) {
            if (IdAt(i) == IdAt(j))
                return false;
        }
    }
    return true;
}
static_assert(IdsAreUnique(), "two members share an id");

constexpr DispId IdOf(std::string_view name) {
    for (std::size_t i = 0; i < kCount; ++i) {
        if (kSpecs[i].name == name)
            return IdAt(i);
    }
    return 0;
}
// The ids hosts are built with must be the ids this table yields.
static_assert(IdOf("SetWM") == kDispIdSetWM && IdOf("SetSign") == kDispIdSetSign &&
              IdOf("SetUnit") == kDispIdSetUnit && IdOf("SetHex1") == kDispIdSetHex1 &&
              IdOf("SetHex2") == kDispIdSetHex2 && IdOf("SetHex3") == kDispIdSetHex3 &&
              IdOf("SetHex4") == kDispIdSetHex4 && IdOf("SetHex5") == kDispIdSetHex5 &&
              IdOf("SetHex6") == kDispIdSetHex6 && IdOf("Display") == kDispIdDisplay &&
              IdOf("SetBackColor") == kDispIdSetBackColor &&
              IdOf("SetForeColor1") == kDispIdSetForeColor1 &&
              IdOf("SetForeColor2") == kDispIdSetForeColor2 && IdOf("AboutBox") == kDispIdAboutBox);

constexpr std::array<VarType, kCount> kParamTypes = [] {
    std::array<VarType, kCount> types{};
    for (std::size_t i = 0; i < kCount; ++i)
        types[i] = kSpecs[i].paramType;
    return types;
}();

constexpr std::array<ParamInfo, kCount> kParamInfos = [] {
    std::array<ParamInfo, kCount> params{};
    for (std::size_t i = 0; i < kCount; ++i)
        params[i] = ParamInfo{kSpecs[i].paramName, kSpecs[i].paramType};
    return params;
}();

constexpr std::array<DispatchMember, kCount> kDispatchMembers = [] {
    std::array<DispatchMember, kCount> members{};
    for (std::size_t i = 0; i < kCount; ++i) {
        members[i] =
            DispatchMember{IdAt(i), kSpecs[i].name,
                           std::span<const VarType>(kParamTypes.data() + i, ParamCountAt(i))};
    }
    return members;
}();

constexpr std::array<MemberInfo, kCount> kMemberInfos = [] {
    std::array<MemberInfo, kCount> members{};
    for (std::size_t i = 0; i < kCount; ++i) {
        members[i] =
            MemberInfo{IdAt(i), kSpecs[i].name,
                       std::span<const ParamInfo>(kParamInfos.data() + i, ParamCountAt(i))};
    }
    return members;
}();

}  // namespace

const component::DispatchTable& LumeqDispatchTable() {
    static const component::DispatchTable table(kDispatchMembers);
    return table;
}

std::span<const component::MemberInfo> LumeqTypeLibMembers() {
    return kMemberInfos;
}

MemberRunner LumeqMemberRunner(component::DispId id) {
    for (std::size_t i = 0; i < kCount; ++i) {
        if (IdAt(i) == id)
            return kSpecs[i].run;
    }
    return nullptr;
}

}  // namespace lumeq
