// lumeq-register: registers a component library in the current user's registration store (or
// the machine's) by calling its own self-registration export, or lists what a store holds.

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cli/OptionTable.h"
#include "platform/component/EnvironmentInUse.h"
#include "platform/posix/Environment.h"
#include "tools/register/MachineStore.h"
#include "tools/register/SelfRegistration.h"
#include "tools/register/StaleEntries.h"
#include "tools/register/StoreListing.h"

namespace {

struct Arguments {
    bool unregister = false;
    bool list = false;
    bool machine = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> libraries;
};

cli::OptionTable MakeTable(Arguments& a) {
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--unregister",
               .help = "unregister instead of register",
               .apply = cli::Set(a.unregister),
               .alias = "-u"});
    table.Add({.name = "--system",
               .help = "the machine's store instead of the user's (changing it needs root)",
               .apply = cli::Set(a.machine)});
    table.Add({.name = "--list",
               .help = "print every entry of the registration store",
               .apply = cli::Set(a.list)});
    cli::AddHelpAndVersion(table, a.help, a.version);
    // The library is the one argument that is no option ("-" is a file name too).
    table.PassForeign([&a](std::span<const std::string_view> args, std::size_t at) {
        if (args[at].starts_with('-') && args[at] != "-")
            return std::size_t{0};
        a.libraries.emplace_back(args[at]);
        return std::size_t{1};
    });
    return table;
}

std::string Usage() {
    Arguments scratch;
    const cli::OptionTable table = MakeTable(scratch);
    return "Usage: lumeq-register [-u] [--system] LIBRARY.so\n"
           "       lumeq-register [--system] --list\n"
           "       lumeq-register --help | --version\n"
           "\n"
           "Registers the component library LIBRARY.so (a path; a relative one is taken\n"
           "from the current directory) by calling its DllRegisterServer, or with -u\n"
           "unregisters it by calling DllUnregisterServer. Prints the result code and its\n"
           "meaning. With -u, a library file that no longer exists has every entry naming\n"
           "it removed from the store.\n"
           "\n" +
           table.Help(20) +
           "\n"
           "The store is $KARVEL_COMPONENT_STORE when set, else\n"
           "$XDG_DATA_HOME/karvel/components.store\n"
           "(~/.local/share/karvel/components.store). The machine's store is\n"
           "$KARVEL_MACHINE_STORE when set, else /var/lib/karvel/components.store. Hosts\n"
           "read the user's store first, then the machine's, then the stores that packages\n"
           "ship, karvel/components.d/*.store in each folder of $XDG_DATA_DIRS\n"
           "(/usr/local/share:/usr/share).\n"
           "\n"
           "Exit status: 0 success; 1 the library reported a failure; 2 bad arguments, or\n"
           "the library or the store cannot be used.\n";
}

int UsageError(const std::string& message) {
    std::cerr << cli::UsageErrorText("lumeq-register", message);
    return lumeq_register::kExitCannotRun;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace lumeq_register;
    Arguments a;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (const posix::Status parsed = MakeTable(a).Parse(args); !parsed)
        return UsageError(parsed.Error().text);
    if (a.help) {
        std::cout << Usage();
        return kExitSuccess;
    }
    if (a.version) {
        std::cout << "lumeq-register " KARVEL_VERSION "\n";
        return kExitSuccess;
    }
    if (a.libraries.size() > 1)
        return UsageError("give one library only");
    const std::string library = a.libraries.empty() ? "" : a.libraries.front();
    const Direction direction = a.unregister ? Direction::Unregister : Direction::Register;
    const bool list = a.list;
    const bool machine = a.machine;
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
