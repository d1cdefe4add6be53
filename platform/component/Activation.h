#pragma once

// Finding and loading the library that serves a class.
//
// Lookup order for a class identifier: the application manifest of the running program
// (registration-free activation, see Manifest.h: `<program>.manifest` beside the executable, or
// the file named by KARVEL_COMPONENT_MANIFEST), then the registration store (see StoreFile.h).
// A class the manifest lists is served only by the library it names. Libraries are loaded by
// absolute, canonical path only and stay resident for the life of the process.
//
// Every function may be called on any thread; a failure leaves its reason for
// LastActivationError() on that thread.

#include <string>
#include <string_view>

#include "platform/component/Guid.h"
#include "platform/component/Interfaces.h"
#include "platform/component/Result.h"

namespace component {

// The class object (factory) of `clsid`, asked for `iid`. kClassNotRegistered when neither the
// manifest nor the store names the class; kCannotLoadLibrary when its library cannot be loaded
// or lacks the export; kRegistryAccess when the manifest or the store is damaged (or a manifest
// named by the environment is missing); otherwise the library's own answer.
Result GetClassObject(const Guid& clsid, const Guid& iid, void** out);

// Creates one object of `clsid` through its class object.
Result CreateInstance(const Guid& clsid, const Guid& iid, void** out);

// Looks a ProgID up in the registration store: kClassNotRegistered when it is not there,
// kRegistryAccess when the store is damaged.
Result ClassIdFromProgId(std::string_view progId, Guid* out);

// A human-readable account of the last failure on this thread (which files were looked at and
// why they did not serve), for error messages. Also explains failures of the functions of
// Registration.h and TypeLibrary.h. Each copy of this layer (a program's, a library's) keeps
// its own.
std::string LastActivationError();

}  // namespace component
