#pragma once

#include <string>

namespace lumeq_register {

// Points this process (and the library it calls, which writes through the same variable) at
// the machine's registration store (/var/lib/karvel/components.store) instead of the user's. To
// change it (`changing`), the caller must be root; its folder is then made, readable by every
// user. False with `error` set when the store cannot be used so.
bool UseMachineStore(bool changing, std::string* error);

}  // namespace lumeq_register
