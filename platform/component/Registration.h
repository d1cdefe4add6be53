#pragma once

// Writing a library's classes and type library into the registration store. Called by a
// library's self-registration exports; each call is one atomic update of the store (see
// StoreFile.h), safe against other processes registering at the same time, unless a
// RegistrationBatch gathers the calls into one. Any thread.
//
// Failures: kRegistryAccess when the store cannot be read (it is damaged) or written, with the
// reason in LastActivationError(); kInvalidArgument for a relative library path or a malformed
// ProgID. Removing what is not registered succeeds.
//
// Test builds can make one step fail with kRegistryAccess before the store is touched
// (RegistrationFault.h): "typelib" fails RegisterTypeLibrary and UnregisterTypeLibrary, "class"
// fails RegisterControlClass, RegisterPropertyPageClass and UnregisterClass.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/component/Guid.h"
#include "platform/component/Result.h"

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

// The help directory recorded is the library's own directory.
Result RegisterTypeLibrary(const std::string& libraryPath, const Guid& libid, std::uint16_t major,
                           std::uint16_t minor, std::uint32_t lcid);
Result UnregisterTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor,
                             std::uint32_t lcid);
// Registers the control and its ProgID (when not empty) in one update.
Result RegisterControlClass(const ControlClassRegistration& reg);
Result RegisterPropertyPageClass(const std::string& libraryPath, const Guid& clsid,
                                 const std::string& userTypeName);
// Removes the class and, when given, its ProgID (only while that ProgID still names `clsid`).
Result UnregisterClass(const Guid& clsid, std::optional<std::string_view> progId);

// Makes the registration calls of this thread, while it lives, one update of the store: the
// store is locked and read when the batch is made, each call changes that copy, and Commit
// replaces the file once. A registration killed at any moment then leaves all its entries or
// none, and no other writer comes between them. Without Commit nothing is written. A batch
// made while another is open on the thread joins it (its Commit does nothing). A store that
// cannot be opened fails each call and Commit alike. Hold it briefly: other writers wait for
// it. Thread: the one that made it.
class RegistrationBatch {
  public:
    RegistrationBatch();
    ~RegistrationBatch();
    RegistrationBatch(const RegistrationBatch&) = delete;
    RegistrationBatch& operator=(const RegistrationBatch&) = delete;

    // kRegistryAccess, with the reason in LastActivationError(), when the store cannot be
    // written; it is then as it was before the batch.
    Result Commit();

    struct State;

  private:
    std::unique_ptr<State> m_state;  // null when joined to an open batch
};

// Absolute, canonical path of the loaded library (or program) that contains `address`; empty
// when no loaded file contains it.
std::string ModulePathOf(const void* address);

}  // namespace component
