// lumeq-register: registers a component library in the current user's registration store (or
// the machine's) by calling its own self-registration export, or lists what a store holds.

#include <iostream>
#include <string>
#include <string_view>

#include "platform/component/EnvironmentInUse.h"
#include "platform/posix/Environment.h"
#include "tools/register/MachineStore.h"
#include "tools/register/SelfRegistration.h"
#include "tools/register/StaleEntries.h"
#include "tools/register/StoreListing.h"

namespace {

constexpr const char* kUsage =
    "Usage: lumeq-register [-u] [--system] LIBRARY.so\n"
    "       lumeq-register [--system] --list\n"
    "       lumeq-register --help | --version\n"
    "\n"
    "Registers the component library LIBRARY.so (a path; a relative one is taken from the\n"
    "current directory) by calling its DllRegisterServer, or with -u unregisters it by calling\n"
    "DllUnregisterServer. Prints the result code and its meaning. With -u, a library file that\n"
    "no longer exists has every entry naming it removed from the store.\n"
    "\n"
    "  -u, --unregister  unregister instead of register\n"
    "  --system          the machine's store instead of the user's (changing it needs root)\n"
    "  --list            print every entry of the registration store\n"
    "  --help            print this text\n"
    "  --version         print the version\n"
    "\n"
    "The store is $KARVEL_COMPONENT_STORE when set, else\n"
    "$XDG_DATA_HOME/karvel/components.store (~/.local/share/karvel/components.store).\n"
    "The machine's store is $KARVEL_MACHINE_STORE when set, else\n"
    "/var/lib/karvel/components.store. Hosts read the user's store first, then the machine's,\n"
    "then the stores that packages ship, karvel/components.d/*.store in each folder of\n"
    "$XDG_DATA_DIRS (/usr/local/share:/usr/share).\n"
    "\n"
    "Exit status: 0 success; 1 the library reported a failure; 2 bad arguments, or the library\n"
    "or the store cannot be used.\n";

int UsageError(const std::string& message) {
    std::cerr << "lumeq-register: " << message << "\nTry 'lumeq-register --help'.\n";
    return lumeq_register::kExitCannotRun;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace lumeq_register;
    Direction direction = Direction::Register;
    bool list = false;
    bool machine = false;
    std::string library;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return kExitSuccess;
        }
        if (arg == "--version") {
            std::cout << "lumeq-register " KARVEL_VERSION "\n";
            return kExitSuccess;
        }
        if (arg == "-u" || arg == "--unregister") {
            direction = Direction::Unregister;
        } else if (arg == "--system") {
            machine = true;
        } else if (arg == "--list") {
            list = true;
        } else if (arg.starts_with("-") && arg != "-") {
            return UsageError("unknown option " + std::string(arg));
        } else if (!library.empty()) {
            return UsageError("give one library only");
        } else {
            library = arg;
        }
    }
    if (list && (!library.empty() || direction == Direction::Unregister))
        return UsageError("--list takes no library and no -u");
    if (!list && library.empty())
        return UsageError("no library given");
    posix::Environment environment = posix::Environment::FromProcess();
    if (std::string error; machine && !UseMachineStore(!list, &environment, &error)) {
        std::cerr << "lumeq-register: " << error << "\n";
        return kExitCannotRun;
    }
    component::UseEnvironment(environment);
    if (list)
        return ListStore(std::cout, std::cerr);
    if (direction == Direction::Unregister && !LibraryExists(library))
        return RemoveEntriesOfMissingLibrary(AbsolutePath(library), std::cout, std::cerr);
    return RunSelfRegistration(library, direction, std::cout, std::cerr);
}
