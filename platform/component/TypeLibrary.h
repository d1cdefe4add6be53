#pragma once

// Type information a component library carries about its classes and interfaces, and the
// export through which a host reads it.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/component/Guid.h"
#include "platform/component/Interfaces.h"
#include "platform/component/Result.h"

namespace component {

inline constexpr std::uint32_t kLibFlagControl = 0x2;     // library holds controls
inline constexpr std::uint32_t kTypeFlagCanCreate = 0x2;  // coclass
inline constexpr std::uint32_t kTypeFlagHidden = 0x10;
inline constexpr std::uint32_t kTypeFlagControl = 0x20;
inline constexpr std::uint32_t kTypeFlagDispatchable = 0x1000;
inline constexpr std::uint32_t kImplFlagDefault = 0x1;
inline constexpr std::uint32_t kImplFlagSource = 0x2;

struct ParamInfo {
    std::string_view name;
    VarType type;
};

struct MemberInfo {
    DispId id;
    std::string_view name;
    std::span<const ParamInfo> params;  // in call order; every member returns nothing
};

struct InterfaceInfo {
    std::string_view name;
    Guid iid;
    std::uint32_t typeFlags;
    std::string_view helpString;
    std::span<const MemberInfo> members;
};

struct ImplementedInterface {
    Guid iid;
    std::uint32_t implFlags;
};

struct CoclassInfo {
    std::string_view name;
    Guid clsid;
    std::uint32_t typeFlags;
    std::string_view helpString;
    std::span<const ImplementedInterface> interfaces;
};

struct TypeLibraryInfo {
    std::string_view name;
    Guid libid;
    std::uint16_t major;
    std::uint16_t minor;
    std::uint32_t lcid;
    std::uint32_t libFlags;
    std::string_view helpString;
    std::string_view helpFile;
    std::span<const InterfaceInfo> interfaces;
    std::span<const CoclassInfo> coclasses;
};

// A library that carries a type library exports this, extern "C", as "DllGetTypeLibrary".
// The returned data is static and lives as long as the library is loaded.
using GetTypeLibraryFn = const TypeLibraryInfo* (*)();

// Loads the registered type library `libid` at version major.minor: finds the library file in
// the registration store (same major version, the highest registered minor version not below
// `minor`), loads it, and reads its type information, which must carry exactly the registered
// identifier and version. Errors: kLibraryNotRegistered, kCannotLoadLibrary (also for a library
// that carries another type library than the one registered), kRegistryAccess (damaged store);
// the reason is in LastActivationError(). Any thread.
Result LoadRegisteredTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor,
                                 const TypeLibraryInfo** out);

}  // namespace component
