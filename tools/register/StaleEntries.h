#pragma once

#include <iosfwd>
#include <string>

namespace lumeq_register {

// Removes from the registration store every class, ProgID and type library that names
// `library`, a library file that no longer exists (so it cannot unregister itself), and reports
// what went on `out` (failures on `err`). Returns the tool's exit status; a store that names
// nothing of it is left as it is and counts as success.
int RemoveEntriesOfMissingLibrary(const std::string& library, std::ostream& out, std::ostream& err);

}  // namespace lumeq_register
