#pragma once

// Writing a library's classes and type library into the registration store. Called by a
// library's self-registration exports; each call is one atomic update of the store.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Guid.h"
#include "Result.h"

namespace component {

inline constexpr std::uint32_t kRegApartmentThreading = 0x2;
inline constexpr std::uint32_t kRegInsertable = 0x1;

struct ControlClassRegistration {
    std::string libraryPath;  // absolute
    Guid clsid;
    std::string progId;
    std::string userTypeName;
    int toolboxBitmapId;
    std::uint32_t flags;  // kRegApartmentThreading, kRegInsertable
    std::uint32_t miscStatus;
    Guid libid;
    std::uint16_t libMajor;
    std::uint16_t libMinor;
};

Result RegisterTypeLibrary(const std::string& libraryPath, const Guid& libid, std::uint16_t major,
                           std::uint16_t minor, std::uint32_t lcid);
Result UnregisterTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor,
                             std::uint32_t lcid);
Result RegisterControlClass(const ControlClassRegistration& reg);
Result RegisterPropertyPageClass(const std::string& libraryPath, const Guid& clsid,
                                 const std::string& userTypeName);
// Removes the class and, when given, its ProgID.
Result UnregisterClass(const Guid& clsid, std::optional<std::string_view> progId);

// Absolute path of the loaded library (or program) that contains `address`.
std::string ModulePathOf(const void* address);

}  // namespace component
