#pragma once

#include <iosfwd>

namespace lumeq_register {

// Prints every entry of the current user's registration store. Returns the tool's exit status.
int ListStore(std::ostream& out, std::ostream& err);

}  // namespace lumeq_register
