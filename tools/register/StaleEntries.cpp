#include "tools/register/StaleEntries.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <vector>

#include "platform/component/ErrorText.h"
#include "platform/component/StoreFile.h"
#include "tools/register/SelfRegistration.h"

namespace lumeq_register {

namespace {

using namespace component;

// The names the store may know the file by: as given (made plain) and with its folder
// resolved, since registration records the canonical path of the loaded file.
// The first is the plain one.
std::vector<std::string> NamesOf(const std::string& library) {
    const std::filesystem::path plain = std::filesystem::path(library).lexically_normal();
    std::vector<std::string> names{plain.string()};
    char resolved[PATH_MAX];
    if (realpath(plain.parent_path().c_str(), resolved))
        names.push_back((std::filesystem::path(resolved) / plain.filename()).string());
    return names;
}

bool Names(const std::vector<std::string>& names, const std::string& library) {
    return std::find(names.begin(), names.end(), library) != names.end();
}

}  // namespace

int RemoveEntriesOfMissingLibrary(const std::string& library, std::ostream& out,
                                  std::ostream& err) {
    std::string error;
    const std::string path = StoreFile::Path(&error);
    if (path.empty()) {
        err << "lumeq-register: the registration store cannot be found: " << error << "\n";
        return kExitCannotRun;
    }
    const std::vector<std::string> names = NamesOf(library);
    int removed = 0;
    const Result r = StoreFile::Update(
        path,
        [&](RegistrationStore& store) {
            std::vector<StoredClass> classes;
            for (const StoredClass& c : store.Classes()) {
                if (Names(names, c.library))
                    classes.push_back(c);
            }
            for (const StoredClass& c : classes) {
                removed += store.RemoveClass(c.clsid);
                for (const StoredProgId& p : std::vector(store.ProgIds())) {
                    if (p.clsid == c.clsid)
                        removed += store.RemoveProgId(p.progId, c.clsid);
                }
            }
            std::vector<StoredTypeLibrary> typeLibraries;
            for (const StoredTypeLibrary& t : store.TypeLibraries()) {
                if (Names(names, t.library))
                    typeLibraries.push_back(t);
            }
            for (const StoredTypeLibrary& t : typeLibraries)
                removed += store.RemoveTypeLibrary(t.version, t.lcid);
            return removed > 0 ? kOk : kFalse;
        },
        &error);
    if (Failed(r)) {
        err << "lumeq-register: " << error << "\n";
        return kExitCannotRun;
    }
    out << Printable(names.front()) << " no longer exists; ";
    if (removed == 0)
        out << "the registration store " << Printable(path) << " names nothing of it.\n";
    else
        out << "removed its " << removed << (removed == 1 ? " entry" : " entries")
            << " from the registration store " << Printable(path) << ".\n";
    return kExitSuccess;
}

}  // namespace lumeq_register
