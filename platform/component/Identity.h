#pragma once

// What a host may ask an object about itself at run time, found through QueryInterface like any
// other capability. Called on the thread that created the object.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/component/Guid.h"
#include "platform/component/Interfaces.h"
#include "platform/component/Result.h"

namespace component {

struct TypeLibraryInfo;

// Any object a library serves: the class it was made from.
class ObjectIdentity : public Unknown {
  public:
    virtual Result GetClassId(Guid* clsid) = 0;
    // The name of the object's class as its library knows it; static text, never null.
    virtual const char* RuntimeClassName() = 0;

  protected:
    ~ObjectIdentity() = default;
};
inline constexpr Guid kIidObjectIdentity = MakeGuid("{2B8E6A54-7C1D-4F93-B0A2-5E6D7F809A1B}");

// What a container learns from a control before and while it embeds it.
class ControlIdentity : public ObjectIdentity {
  public:
    // The name shown to users for the control's class; static text that lives as long as the
    // library is loaded.
    virtual Result GetUserTypeName(std::string_view* name) = 0;
    // The container hints the control's class is registered with (the same value).
    virtual Result GetMiscStatus(std::uint32_t* status) = 0;
    // How many type descriptions the control offers (0 or 1).
    virtual Result GetTypeInfoCount(std::uint32_t* count) = 0;
    // The registered type library that describes the control, for the locale `lcid`; the data
    // is static and lives as long as the library that carries it is loaded. Fails with the
    // loader's error (kLibraryNotRegistered, kCannotLoadLibrary, kRegistryAccess) when the
    // library is not registered or cannot be read.
    virtual Result GetTypeLibrary(std::uint32_t lcid, const TypeLibraryInfo** library) = 0;
    // The classes of the control's property pages; the list lives as long as the library.
    virtual Result GetPropertyPages(std::span<const Guid>* pages) = 0;

  protected:
    ~ControlIdentity() = default;
};
inline constexpr Guid kIidControlIdentity = MakeGuid("{2B8E6A55-7C1D-4F93-B0A2-5E6D7F809A1B}");

}  // namespace component
