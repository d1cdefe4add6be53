#pragma once

// Finding and loading the library that serves a class.
//
// Lookup order for a class identifier: the application manifest beside the running program
// (registration-free activation), then the registration store. Libraries are loaded by absolute,
// canonical path only and stay resident for the life of the process.

#include <string>
#include <string_view>

#include "Guid.h"
#include "Interfaces.h"
#include "Result.h"

namespace component {

// The class object (factory) of `clsid`, asked for `iid`. kClassNotRegistered when neither the
// manifest nor the store names the class; kCannotLoadLibrary when its library cannot be loaded
// or lacks the export; otherwise the library's own answer.
Result GetClassObject(const Guid& clsid, const Guid& iid, void** out);

// Creates one object of `clsid` through its class object.
Result CreateInstance(const Guid& clsid, const Guid& iid, void** out);

// Looks a ProgID up in the registration store.
Result ClassIdFromProgId(std::string_view progId, Guid* out);

// A human-readable account of the last failed lookup on this thread (which files were looked at
// and why they did not serve), for error messages.
std::string LastActivationError();

}  // namespace component
