#include "tools/register/StoreListing.h"

#include <cstdio>
#include <ostream>

#include "platform/component/ErrorText.h"
#include "platform/component/StoreFile.h"
#include "tools/register/SelfRegistration.h"

namespace lumeq_register {

namespace {

using namespace component;

std::string Version(const TypeLibraryVersion& v) {
    return v.libid.ToString() + " " + std::to_string(v.major) + "." + std::to_string(v.minor);
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

int ListStore(std::ostream& out, std::ostream& err) {
    RegistrationStore store;
    std::string path;
    std::string error;
    if (Failed(StoreFile::LoadCurrent(&store, &path, &error))) {
        err << "lumeq-register: " << error << "\n";
        return kExitCannotRun;
    }
    out << "Registration store: " << path << "\n";
    if (store.IsEmpty()) {
        out << "(nothing registered)\n";
        return kExitSuccess;
    }
    out << "Type libraries:\n";
    for (const StoredTypeLibrary& t : store.TypeLibraries()) {
        out << "  " << Version(t.version) << "  locale " << t.lcid << "  " << Printable(t.library)
            << "\n";
    }
    out << "Classes:\n";
    for (const StoredClass& c : store.Classes()) {
        out << "  " << c.clsid.ToString() << "  \"" << Printable(c.userTypeName) << "\"  "
            << Printable(c.library) << "\n";
        std::string details;
        if (!c.progId.empty())
            details += "ProgID " + c.progId + "; ";
        if (!c.threading.empty())
            details += "threading " + Printable(c.threading) + "; ";
        if (c.control) {
            details += std::string("control, ") + (c.insertable ? "insertable" : "not insertable") +
                       "; toolbox bitmap " + std::to_string(c.toolboxBitmap) + "; misc status " +
                       Hex(c.miscStatus) + "; ";
        }
        if (c.typeLibrary)
            details += "type library " + Version(*c.typeLibrary) + "; ";
        if (!details.empty())
            out << "      " << details.substr(0, details.size() - 2) << "\n";
    }
    out << "ProgIDs:\n";
    for (const StoredProgId& p : store.ProgIds())
        out << "  " << p.progId << " -> " << p.clsid.ToString() << "\n";
    return kExitSuccess;
}

}  // namespace lumeq_register
