// The files that say where the display control lives are damaged: the application manifest and
// the registration store, each empty, cut off, full of garbage, a folder or a FIFO, or too large.
// The lookup says which file and what is wrong with it, and Karvel passes that on and ends.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/CLumeq.h"
#include "platform/component/Activation.h"
#include "platform/component/RegistrationStore.h"
#include "platform/serial/PseudoTerminal.h"
#include "tests/fault/KarvelProcess.h"
#include "tools/peers/PortDirectory.h"
#include "tools/peers/RandomBytes.h"
#include "tools/peers/TestFiles.h"

namespace faulttest {
namespace {

using namespace std::chrono_literals;
using namespace component;
using testing_support::RandomBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;
namespace fs = std::filesystem;

constexpr const char* kLibrary = "/opt/karvel/lib/libLumeq.so";

std::string GoodManifest() {
    return "# Classes this program uses.\nclass " + CLumeq::kClassId.ToString() + " " + kLibrary +
           "\n";
}

std::string GoodStore() {
    RegistrationStore store;
    StoredClass control;
    control.clsid = CLumeq::kClassId;
    control.library = kLibrary;
    control.userTypeName = "Lumeq Control";
    control.progId = "Lumeq.LumeqCtrl.1";
    control.threading = "Apartment";
    control.control = true;
    control.toolboxBitmap = 1;
    control.miscStatus = 0x00020191;
    store.PutClass(control);
    store.PutProgId({"Lumeq.LumeqCtrl.1", CLumeq::kClassId});
    return store.Format();
}

enum class Damaged { kManifest, kStore };

struct DamageCase {
    const char* name;
    Damaged file;
    // The damaged file's contents; a folder (or a FIFO) is made in its place when not set.
    std::optional<std::string> contents;
    Result expected;
    std::string because;  // part of the account; "@" stands for the damaged file's path
    bool fifo = false;
};

std::vector<DamageCase> Cases() {
    const std::string manifest = GoodManifest();
    const std::string store = GoodStore();
    const std::size_t inGuid = manifest.find('{') + 10;
    const std::size_t inPath = manifest.find(kLibrary) + 12;
    return {
        {"empty manifest", Damaged::kManifest, "", kClassNotRegistered,
         "the manifest @ does not list it"},
        {"manifest cut in the class identifier", Damaged::kManifest, manifest.substr(0, inGuid),
         kRegistryAccess, "@:2: "},
        {"manifest cut in the library path", Damaged::kManifest, manifest.substr(0, inPath),
         kCannotLoadLibrary, manifest.substr(manifest.find(kLibrary), 12) + " cannot be found"},
        {"manifest after a byte-order mark (read past it)", Damaged::kManifest,
         "\xEF\xBB\xBF" + manifest.substr(0, inPath), kCannotLoadLibrary,
         manifest.substr(manifest.find(kLibrary), 12) + " cannot be found"},
        {"manifest of random bytes", Damaged::kManifest, RandomBytes(4096, 1), kRegistryAccess,
         "@:"},
        {"manifest that is a directory", Damaged::kManifest, std::nullopt, kRegistryAccess,
         "the manifest @ cannot be read: it is a folder, not a regular file"},
        {"manifest that is a FIFO", Damaged::kManifest, std::nullopt, kRegistryAccess,
         "the manifest @ cannot be read: it is a FIFO (named pipe), not a regular file", true},
        {"manifest of two megabytes", Damaged::kManifest, std::string(2 << 20, '#'),
         kRegistryAccess, "the manifest @ cannot be read: it holds 2097152 bytes, more than"},
        {"empty store", Damaged::kStore, "", kRegistryAccess,
         "the registration store @ is damaged: the file is empty"},
        {"store cut in half", Damaged::kStore, store.substr(0, store.size() / 2), kRegistryAccess,
         "the registration store @ is damaged"},
        {"store without its end line", Damaged::kStore, store.substr(0, store.rfind("end")),
         kRegistryAccess, "the registration store @ is damaged"},
        {"store of random bytes", Damaged::kStore, RandomBytes(4096, 2), kRegistryAccess,
         "the registration store @ is damaged: line "},
        {"store that is a directory", Damaged::kStore, std::nullopt, kRegistryAccess,
         "the registration store @ cannot be read: it is a folder, not a regular file"},
        {"store that is a FIFO", Damaged::kStore, std::nullopt, kRegistryAccess,
         "the registration store @ cannot be read: it is a FIFO (named pipe)", true},
        {"store of two megabytes", Damaged::kStore, std::string(2 << 20, '#'), kRegistryAccess,
         "the registration store @ cannot be read: it holds 2097152 bytes, more than"},
    };
}

// The manifest and store of one case: the damaged one, and the other one harmless (an empty
// manifest lets the lookup go on to the store; a missing store is an empty one).
struct CaseFiles {
    std::string manifest;
    std::string store;
    std::string damaged;
};

CaseFiles MakeFiles(const DamageCase& c, const TempDir& dir, std::size_t index) {
    const std::string prefix = dir / ("case" + std::to_string(index));
    CaseFiles files{prefix + ".manifest", prefix + ".store", {}};
    if (c.file == Damaged::kStore)
        WriteFile(files.manifest, "# Nothing is listed here.\n");
    files.damaged = c.file == Damaged::kManifest ? files.manifest : files.store;
    if (c.contents)
        WriteFile(files.damaged, *c.contents);
    else if (c.fifo)
        EXPECT_EQ(::mkfifo(files.damaged.c_str(), 0600), 0);
    else
        fs::create_directories(files.damaged);
    return files;
}

std::string Because(const DamageCase& c, const CaseFiles& files) {
    std::string text = c.because;
    if (const std::size_t at = text.find('@'); at != std::string::npos)
        text.replace(at, 1, files.damaged);
    return text;
}

TEST(DamagedFiles, TheLookupNamesTheFileAndWhatIsWrongWithIt) {
    TempDir dir;
    const std::vector<DamageCase> cases = Cases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const DamageCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const CaseFiles files = MakeFiles(c, dir, i);
        ScopedEnv manifest("KARVEL_COMPONENT_MANIFEST", files.manifest);
        ScopedEnv store("KARVEL_COMPONENT_STORE", files.store);

        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CreateInstance(CLumeq::kClassId, kIidDispatch, &object), c.expected)
            << LastActivationError();
        EXPECT_EQ(object, nullptr);
        const std::string account = LastActivationError();
        EXPECT_NE(account.find(Because(c, files)), std::string::npos) << account;
        if (c.file == Damaged::kStore) {
            Guid clsid;
            EXPECT_EQ(ClassIdFromProgId("Lumeq.LumeqCtrl.1", &clsid), kRegistryAccess);
            EXPECT_NE(LastActivationError().find(files.store), std::string::npos)
                << LastActivationError();
            EXPECT_EQ(clsid, Guid());
        }
    }
}

TEST(DamagedFiles, KarvelSaysWhichFileIsDamagedAndEndsWithoutTouchingAPort) {
    TempDir dir;
    testing_support::PortDirectory ports;
    auto scale = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(scale);
    ports.Map(1, scale->DevicePath());

    const std::vector<DamageCase> cases = Cases();
    std::vector<CaseFiles> files;
    std::vector<QProcessEnvironment> environments;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        files.push_back(MakeFiles(cases[i], dir, i));
        QProcessEnvironment env = OffscreenEnvironment();
        env.insert("KARVEL_PORT_DIR", QString::fromStdString(ports.Path()));
        env.insert("KARVEL_COMPONENT_MANIFEST", QString::fromStdString(files.back().manifest));
        env.insert("KARVEL_COMPONENT_STORE", QString::fromStdString(files.back().store));
        environments.push_back(env);
    }
    const std::vector<KarvelOutcome> outcomes = RunKarvelEach(environments);
    const QString classId = QString::fromStdString(CLumeq::kClassId.ToString());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const KarvelOutcome& run = outcomes[i];
        const std::string err = run.err.toStdString();
        ASSERT_TRUE(run.ended);
        EXPECT_FALSE(run.crashed) << err;
        EXPECT_EQ(run.exitCode, 1) << err;
        EXPECT_TRUE(run.err.contains(classId)) << err;
        EXPECT_NE(err.find(Because(cases[i], files[i])), std::string::npos) << err;
        EXPECT_TRUE(run.err.contains("No serial port was opened")) << err;
        EXPECT_FALSE(run.err.contains("Sanitizer")) << err;
    }
    EXPECT_TRUE(scale->Read(0ms).empty());
}

}  // namespace
}  // namespace faulttest
