#pragma once

// The application manifest: which library serves each class a program uses, so that a program
// runs without registering anything.
//
// Text, one entry a line: `class {CLSID} LIBRARY`, where LIBRARY is an absolute path or a path
// relative to the manifest's own directory. Blank lines and lines starting with `#` are ignored;
// anything else makes the whole manifest unusable.

#include <optional>
#include <string>
#include <vector>

#include "platform/component/Guid.h"
#include "platform/component/Result.h"
#include "platform/posix/Environment.h"

namespace component {

class Manifest {
  public:
    // Where the running program's manifest may be, in the order to try: the file named by
    // KARVEL_COMPONENT_MANIFEST (an absolute path) alone when set, which also sets
    // `explicitlyNamed`; else `<program>.manifest` beside the program's executable (a build
    // tree), then the same name in the project's private library folder, found from the
    // program's folder as an install lays it out (bin/../lib/karvel). Empty when the program's
    // own path is unknown. Without `environment`, the layer's (EnvironmentInUse.h).
    static std::vector<std::string> PathsForProgram(const posix::Environment& environment,
                                                    bool* explicitlyNamed);
    static std::vector<std::string> PathsForProgram(bool* explicitlyNamed);

    // Reads and checks the manifest at absolute `path`. kFileNotFound when it does not exist;
    // kRegistryAccess when it cannot be read or a line is malformed (`error` names the file and
    // line).
    static Result Read(const std::string& path, Manifest* out, std::string* error);

    const std::string& Path() const { return m_path; }
    // The absolute path of the library that serves `clsid`, if the manifest names the class.
    std::optional<std::string> LibraryFor(const Guid& clsid) const;

  private:
    struct Entry {
        Guid clsid;
        std::string library;  // absolute
        int line;
    };

    std::string m_path;
    std::vector<Entry> m_entries;
};

}  // namespace component
