#pragma once

// What the library's exports answer, and the library-wide state behind them. Each function here
// runs with the caller's module state; the exports make the library's own state current first.
//
// Thread: every function here is [thread-safe]: the state behind them is made when the library
// loads and then only read or counted atomically, and each registration is one atomic update
// of the store.

#include <string>

#include "platform/component/Guid.h"
#include "platform/component/Ref.h"
#include "platform/component/Result.h"

namespace lumeq {

struct CModuleState;

// The library's own module state.
CModuleState* LumeqModuleState();

// Live objects and server locks of the library.
component::ModuleCounter* LumeqObjectCounter();

// Takes or gives back one server lock. Giving back a lock that is not held is kUnexpected and
// changes nothing, so an unbalanced caller cannot make the library look idle while objects live.
component::Result LumeqLockServer(bool lock);

// Absolute path of the library file.
std::string LumeqLibraryPath();

// The class object of `clsid` asked for `iid`; for a class the library does not serve, a null
// `*out` and kClassNotAvailable.
component::Result LumeqGetClassObject(const component::Guid& clsid, const component::Guid& iid,
                                      void** out);

// kOk when no object lives and no lock is held, kFalse otherwise.
component::Result LumeqCanUnloadNow();

// Type library first, then the classes; a failed step returns its own code and nothing done
// before it is undone.
component::Result LumeqRegisterServer();
component::Result LumeqUnregisterServer();

// False when the module object refused to start; the exports then refuse every request.
bool LumeqModuleStarted();

}  // namespace lumeq
