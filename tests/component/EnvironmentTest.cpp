// Where the component layer looks is decided by the environment it is handed; once a program's
// main has handed one over, later changes to the process's variables change nothing.

#include "platform/component/EnvironmentInUse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/component/Manifest.h"
#include "platform/component/StoreFile.h"
#include "tools/peers/TestFiles.h"

namespace component {
namespace {

using testing_support::ScopedEnv;

// An environment with the two store variables, HOME and XDG_DATA_HOME; the rest unset.
posix::Environment With(std::string store, std::string machine, std::string home,
                        std::string dataHome) {
    posix::Environment e;
    e.componentStore = std::move(store);
    e.machineStore = std::move(machine);
    e.home = std::move(home);
    e.dataHome = std::move(dataHome);
    return e;
}

TEST(ComponentEnvironment, TheStoresAndManifestComeFromTheEnvironmentHandedDown) {
    const struct {
        const char* name;
        posix::Environment environment;
        std::string store;  // empty: no path can be formed
        std::string machine;
    } cases[] = {
        {"named stores", With("/s/user.store", "/s/machine.store", "", ""), "/s/user.store",
         "/s/machine.store"},
        {"data folder", With("", "", "/h", "/d"), "/d/karvel/components.store",
         "/var/lib/karvel/components.store"},
        {"home only", With("", "", "/h", "relative"), "/h/.local/share/karvel/components.store",
         "/var/lib/karvel/components.store"},
        {"relative names", With("user.store", "machine.store", "/h", ""), "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_EQ(StoreFile::Path(c.environment, &error), c.store);
        EXPECT_EQ(error.empty(), !c.store.empty()) << error;
        error.clear();
        EXPECT_EQ(StoreFile::MachinePath(c.environment, &error), c.machine);
        EXPECT_EQ(error.empty(), !c.machine.empty()) << error;
    }
}

TEST(ComponentEnvironment, WhatMainHandedOverHoldsWhateverTheProcessChanges) {
    posix::Environment handed;
    handed.componentStore = "/handed/components.store";
    handed.componentManifest = "/handed/app.manifest";
    handed.dataDirs = "/handed/share";
    UseEnvironment(handed);

    const ScopedEnv store("KARVEL_COMPONENT_STORE", "/process/components.store");
    const ScopedEnv manifest("KARVEL_COMPONENT_MANIFEST", "/process/app.manifest");
    std::string error;
    EXPECT_EQ(StoreFile::Path(&error), handed.componentStore);
    bool named = false;
    EXPECT_EQ(Manifest::PathsForProgram(&named),
              std::vector<std::string>{handed.componentManifest});
    EXPECT_TRUE(named);
    EXPECT_EQ(EnvironmentInUse().dataDirs, "/handed/share");
}

}  // namespace
}  // namespace component
