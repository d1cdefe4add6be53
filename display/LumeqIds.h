#pragma once

// Identifiers of the control library that hosts and the registration store share. They never
// change: hosts name the control by its class identifier and call it by member id. Hosts include
// this header and link nothing of the library; cmake/Components.cmake reads the control's class
// identifier from here for the manifests.

#include <cstdint>
#include <string_view>

#include "platform/component/Guid.h"
#include "platform/component/Interfaces.h"

namespace lumeq {

inline constexpr component::Guid kClsidLumeqCtrl =
    component::MakeGuid("{22C8BBAD-8918-4858-8EED-45BEE06CC11F}");
inline constexpr component::Guid kClsidLumeqPropPage =
    component::MakeGuid("{4FF6550D-D94F-4965-9C83-FA7D59415F7B}");
inline constexpr component::Guid kLibidLumeqLib =
    component::MakeGuid("{3D671000-08A8-4537-8AAA-BD7575F84F8B}");
inline constexpr component::Guid kIidDLumeq =
    component::MakeGuid("{00727DC2-5EC9-4AA1-8E59-25207238D641}");
inline constexpr component::Guid kIidDLumeqEvents =
    component::MakeGuid("{1FA6EB4F-5488-4B9B-80A5-0683690E1348}");

inline constexpr std::string_view kProgIdLumeqCtrl = "Lumeq.LumeqCtrl.1";
inline constexpr std::string_view kProgIdLumeqPropPage = "Lumeq.LumeqPropPage.1";

// Member ids of _DLumeq. Hosts call by these numbers and never look names up.
enum LumeqDispId : std::int32_t {
    kDispIdSetWM = 1,
    kDispIdSetSign = 2,
    kDispIdSetUnit = 3,
    kDispIdSetHex1 = 4,
    kDispIdSetHex2 = 5,
    kDispIdSetHex3 = 6,
    kDispIdSetHex4 = 7,
    kDispIdSetHex5 = 8,
    kDispIdSetHex6 = 9,
    kDispIdDisplay = 10,
    kDispIdSetBackColor = 11,
    kDispIdSetForeColor1 = 12,
    kDispIdSetForeColor2 = 13,
    kDispIdAboutBox = component::kDispIdAboutBox,
};

inline constexpr std::uint16_t kLumeqLibMajor = 1;
inline constexpr std::uint16_t kLumeqLibMinor = 0;
inline constexpr std::uint32_t kLumeqLibLcid = 0;

// What a container learns about the control before it creates it (recompose on resize, no links
// inside, inside-out activation, activate when visible, client site first).
inline constexpr std::uint32_t kLumeqMiscStatus = 0x00020191;

}  // namespace lumeq
