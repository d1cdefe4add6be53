#pragma once

#include <string>

#include "platform/posix/Environment.h"

namespace lumeq_register {

// Points `environment` (and the library this process calls, which reads the variable itself) at
// the machine's registration store (/var/lib/karvel/components.store) instead of the user's. To
// change it (`changing`), the caller must be root; its folder is then made, readable by every
// user. False with `error` set when the store cannot be used so.
bool UseMachineStore(bool changing, posix::Environment* environment, std::string* error);

}  // namespace lumeq_register
