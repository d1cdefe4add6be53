#include "LumeqMembers.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "CLumeqCtrl.h"

namespace lumeq {

namespace {

using component::DispatchMember;
using component::DispId;
using component::MemberInfo;
using component::ParamInfo;
using component::Variant;
using component::VarType;
using Args = std::span<const Variant>;

// Arguments reach a runner already converted, so the narrowing casts below cannot lose bits.
std::int16_t Short(Args a) {
    return static_cast<std::int16_t>(a[0].AsInteger());
}
std::int32_t Long(Args a) {
    return static_cast<std::int32_t>(a[0].AsInteger());
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
    {"SetWM", "chWMval", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetWM(Short(a));
         return component::kOk;
     }},
    {"SetSign", "chSignVal", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetSign(Short(a));
         return component::kOk;
     }},
    {"SetUnit", "chUnitVal", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetUnit(Short(a));
         return component::kOk;
     }},
    {"SetHex1", "chHex1Val", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetHex1(Short(a));
         return component::kOk;
     }},
    {"SetHex2", "chHex2Val", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetHex2(Short(a));
         return component::kOk;
     }},
    {"SetHex3", "chHex3Val", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetHex3(Short(a));
         return component::kOk;
     }},
    {"SetHex4", "chHex4Val", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetHex4(Short(a));
         return component::kOk;
     }},
    {"SetHex5", "chHex5Val", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetHex5(Short(a));
         return component::kOk;
     }},
    {"SetHex6", "chHex6Val", VarType::I2, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetHex6(Short(a));
         return component::kOk;
     }},
    {"Display",
     {},
     VarType::Empty,
     0,
     [](CLumeqCtrl& c, Args) {
         c.Display();
         return component::kOk;
     }},
    {"SetBackColor", "Backcolor", VarType::I4, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetBackColor(Long(a));
         return component::kOk;
     }},
    {"SetForeColor1", "ForeColor1", VarType::I4, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetForeColor1(Long(a));
         return component::kOk;
     }},
    {"SetForeColor2", "ForeColor2", VarType::I4, 0,
     [](CLumeqCtrl& c, Args a) {
         c.SetForeColor2(Long(a));
         return component::kOk;
     }},
    {"AboutBox",
     {},
     VarType::Empty,
     component::kDispIdAboutBox,
     [](CLumeqCtrl& c, Args) { return c.AboutBox(); }},
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
