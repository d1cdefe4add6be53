#include "platform/component/Registration.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "platform/component/Activation.h"
#include "platform/component/LibraryCache.h"
#include "platform/component/Ref.h"
#include "platform/component/StoreFile.h"
#include "platform/component/TypeLibrary.h"
#include "platform/posix/UniqueFd.h"
#include "tests/component/fake/FakeIds.h"
#include "tests/support/ChildProcess.h"
#include "tools/peers/TestFiles.h"

namespace component {
namespace {

using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr const char* kFault = "KARVEL_REGISTRATION_FAULT";

Result CallServer(const std::string& library, const char* exportName) {
    const Library* loaded = nullptr;
    if (const Result r = LoadCachedLibrary(library, &loaded); Failed(r))
        return r;
    const auto server = FindExport<RegisterServerFn>(*loaded, exportName);
    return server ? server() : kCannotLoadLibrary;
}

Result Register(const std::string& library) {
    return CallServer(library, "DllRegisterServer");
}

Result Unregister(const std::string& library) {
    return CallServer(library, "DllUnregisterServer");
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Lists `library` for the fake class A in the store at `path`.
void PutClassA(const std::string& path, const std::string& library) {
    std::string error;
    ASSERT_EQ(StoreFile::Update(
                  path,
                  [&](RegistrationStore& store) {
                      StoredClass entry;
                      entry.clsid = fake::kA.clsid;
                      entry.library = library;
                      store.PutClass(entry);
                      return kOk;
                  },
                  &error),
              kOk)
        << error;
}

// Every test works on its own store, and activation sees an empty manifest so that it falls
// back to the store.
class Registration : public ::testing::Test {
  protected:
    Registration() { WriteFile(m_dir / "empty.manifest", ""); }

    RegistrationStore Stored() {
        RegistrationStore store;
        std::string error;
        EXPECT_EQ(StoreFile::Load(m_store, &store, &error), kOk) << error;
        return store;
    }

    TempDir m_dir;
    const std::string m_store = m_dir / "data/karvel/components.store";
    ScopedEnv m_storeEnv{"KARVEL_COMPONENT_STORE", m_store};
    ScopedEnv m_manifestEnv{"KARVEL_COMPONENT_MANIFEST", m_dir / "empty.manifest"};
    ScopedEnv m_noFault{kFault, std::nullopt};
    const std::string m_a = std::filesystem::canonical(FAKE_LIBRARY_A);
    const std::string m_b = std::filesystem::canonical(FAKE_LIBRARY_B);
};

TEST_F(Registration, RegistersEverythingAndRemovesItAgain) {
    ASSERT_EQ(Register(m_a), kOk) << LastActivationError();

    const RegistrationStore store = Stored();
    const StoredClass* control = store.FindClass(fake::kA.clsid);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->library, m_a);
    EXPECT_EQ(control->progId, fake::kA.progId);
    EXPECT_EQ(control->userTypeName, "Fake Control");
    EXPECT_EQ(control->threading, "Apartment");
    EXPECT_TRUE(control->control);
    EXPECT_FALSE(control->insertable);
    EXPECT_EQ(control->toolboxBitmap, 1);
    EXPECT_EQ(control->miscStatus, 0x00020191u);
    EXPECT_EQ(control->typeLibrary, (TypeLibraryVersion{fake::kA.libid, 1, 0}));
    const StoredClass* page = store.FindClass(fake::kA.pageClsid);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->userTypeName, "Fake Property Page");
    EXPECT_TRUE(page->progId.empty());
    EXPECT_FALSE(page->control);
    EXPECT_EQ(store.FindProgId(fake::kA.progId), fake::kA.clsid);

    // The host finds all of it through the store.
    Guid clsid;
    ASSERT_EQ(ClassIdFromProgId(fake::kA.progId, &clsid), kOk) << LastActivationError();
    EXPECT_EQ(clsid, fake::kA.clsid);
    Ref<Dispatch> object;
    ASSERT_EQ(CreateInstance(clsid, kIidDispatch, object.Out()), kOk) << LastActivationError();
    Variant answer;
    EXPECT_EQ(object->Invoke(fake::kAnswerId, InvokeKind::Method, {}, &answer, nullptr), kOk);
    EXPECT_EQ(answer.AsInteger(), fake::kA.answer);
    const TypeLibraryInfo* info = nullptr;
    ASSERT_EQ(LoadRegisteredTypeLibrary(fake::kA.libid, 1, 0, &info), kOk) << LastActivationError();
    EXPECT_EQ(info->name, "FakeLibA");

    // Registering again changes nothing.
    const std::string before = ReadFile(m_store);
    EXPECT_EQ(Register(m_a), kOk);
    EXPECT_EQ(ReadFile(m_store), before);

    ASSERT_EQ(Unregister(m_a), kOk) << LastActivationError();
    EXPECT_TRUE(Stored().IsEmpty());
    EXPECT_EQ(ClassIdFromProgId(fake::kA.progId, &clsid), kClassNotRegistered);
    EXPECT_TRUE(Contains(LastActivationError(), m_store)) << LastActivationError();
    void* factory = nullptr;
    EXPECT_EQ(GetClassObject(fake::kA.clsid, kIidClassFactory, &factory), kClassNotRegistered);
    EXPECT_TRUE(
        Contains(LastActivationError(), "the registration store " + m_store + " does not list it"))
        << LastActivationError();
    EXPECT_EQ(LoadRegisteredTypeLibrary(fake::kA.libid, 1, 0, &info), kLibraryNotRegistered);
    EXPECT_EQ(info, nullptr);

    // Unregistering what is not registered is not an error.
    EXPECT_EQ(Unregister(m_a), kOk);
}

TEST_F(Registration, TypeLibraryFailureLeavesTheClassesAsTheyWere) {
    ASSERT_EQ(Register(m_a), kOk);
    const std::string before = ReadFile(m_store);

    ScopedEnv fault(kFault, "typelib");
    EXPECT_EQ(Register(m_b), kSelfRegTypeLibrary);
    EXPECT_EQ(ReadFile(m_store), before);
    EXPECT_EQ(Unregister(m_a), kSelfRegTypeLibrary);
    EXPECT_EQ(ReadFile(m_store), before);
}

TEST_F(Registration, ClassFailureKeepsTheTypeLibraryRegistered) {
    {
        ScopedEnv fault(kFault, "class");
        EXPECT_EQ(Register(m_a), kSelfRegClass);
        const RegistrationStore store = Stored();
        EXPECT_TRUE(store.Classes().empty());
        EXPECT_TRUE(store.ProgIds().empty());
        EXPECT_NE(store.FindTypeLibrary(fake::kA.libid, 1, 0), nullptr);
    }
    ASSERT_EQ(Register(m_a), kOk);
    ScopedEnv fault(kFault, "class");
    EXPECT_EQ(Unregister(m_a), kSelfRegClass);
    const RegistrationStore store = Stored();
    EXPECT_EQ(store.FindTypeLibrary(fake::kA.libid, 1, 0), nullptr);
    EXPECT_NE(store.FindClass(fake::kA.clsid), nullptr);
    EXPECT_NE(store.FindClass(fake::kA.pageClsid), nullptr);
    EXPECT_EQ(store.FindProgId(fake::kA.progId), fake::kA.clsid);
}

TEST_F(Registration, ConcurrentProcessesLoseNoEntry) {
    constexpr int kRounds = 40;
    auto classOf = [](int process, int round) {
        Guid g = fake::kUnknownClsid;
        g.data2 = static_cast<std::uint16_t>(process);
        g.data3 = static_cast<std::uint16_t>(round);
        return g;
    };
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            // Each round re-registers the process's library and adds one class of its own.
            const std::string& library = p == 0 ? m_a : m_b;
            int failures = 0;
            for (int round = 0; round < kRounds; ++round) {
                failures += Failed(round % 2 ? Unregister(library) : Register(library));
                failures += Failed(RegisterPropertyPageClass(library, classOf(p, round), "x"));
            }
            failures += Failed(Register(library));
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    const RegistrationStore store = Stored();
    for (int p = 0; p < 2; ++p) {
        for (int round = 0; round < kRounds; ++round)
            EXPECT_NE(store.FindClass(classOf(p, round)), nullptr) << p << " " << round;
    }
    for (const fake::Ids* ids : {&fake::kA, &fake::kB}) {
        EXPECT_NE(store.FindClass(ids->clsid), nullptr);
        EXPECT_NE(store.FindClass(ids->pageClsid), nullptr);
        EXPECT_EQ(store.FindProgId(ids->progId), ids->clsid);
        EXPECT_NE(store.FindTypeLibrary(ids->libid, 1, 0), nullptr);
    }
    EXPECT_EQ(store.Classes().size(), 2u * kRounds + 4);
    // No temporary file is left behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir / "data/karvel"))
        files += entry.path().filename().string().starts_with("components.store.tmp");
    EXPECT_EQ(files, 0);
}

// Processes that are killed and reaped when the object goes, whatever ends the test.
struct Children {
    std::vector<pid_t> pids;
    ~Children() {
        for (pid_t child : pids) {
            if (child > 0) {
                kill(child, SIGKILL);
                waitpid(child, nullptr, 0);
            }
        }
    }
};

// Writers killed at random moments, one registering and one unregistering at the same time:
// each registration is all of its entries or none, and the next writer removes what the killed
// ones left.
TEST_F(Registration, KilledWritersLeaveAllEntriesOrNone) {
    constexpr int kRounds = 60;
    auto startLooping = [](const std::function<Result()>& step, int ready) {
        const pid_t child = fork();
        if (child == 0) {
            step();  // the library is loaded: from here on a kill lands in the store's updates
            (void)!write(ready, "r", 1);
            for (;;)
                step();
        }
        return child;
    };
    std::mt19937 random(26);  // the same moments every run
    for (int round = 0; round < kRounds; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        {
            const Children children{{startLooping([&] { return Register(m_a); }, ready[1]),
                                     startLooping([&] { return Unregister(m_a); }, ready[1])}};
            close(ready[1]);
            char started[2];
            for (std::size_t got = 0; got < sizeof started;) {
                const ssize_t n = read(ready[0], started + got, sizeof started - got);
                ASSERT_GT(n, 0) << "a child ended before it began";
                got += static_cast<std::size_t>(n);
            }
            close(ready[0]);
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        }  // both are killed here
        const RegistrationStore store = Stored();
        const int present = (store.FindClass(fake::kA.clsid) != nullptr) +
                            (store.FindClass(fake::kA.pageClsid) != nullptr) +
                            store.FindProgId(fake::kA.progId).has_value() +
                            (store.FindTypeLibrary(fake::kA.libid, 1, 0) != nullptr);
        ASSERT_TRUE(present == 0 || present == 4) << "round " << round << ": " << present;
    }

    WriteFile(m_store + ".tmp-AbC123", "left by a writer that was killed");
    ASSERT_EQ(Register(m_b), kOk) << LastActivationError();
    for (const auto& entry : std::filesystem::directory_iterator(m_dir / "data/karvel"))
        EXPECT_FALSE(entry.path().filename().string().starts_with("components.store.tmp"))
            << entry.path();
}

// A registration that would make the store too large for its readers is refused; removing
// entries stays possible, even from a store that is already too large.
TEST_F(Registration, TheStoreNeverGrowsPastWhatReadersRead) {
    // One class of library B that fills the store up to `size` bytes.
    auto bulky = [&](std::size_t size) {
        RegistrationStore store;
        StoredClass big;
        big.clsid = fake::kB.pageClsid;
        big.library = m_b;
        big.userTypeName.assign(size, 'n');
        store.PutClass(big);
        WriteFile(m_store, store.Format());
    };
    auto tool = [&](const std::vector<std::string>& args) {
        return RunProgram(LUMEQ_REGISTER, args, m_dir.Path().string());
    };
    bulky(kStoreReadLimit - 300);
    const std::string before = ReadFile(m_store);
    const auto run = tool({FAKE_LIBRARY_A});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(Contains(run.err, "more than the 1048576 bytes that programs read")) << run.err;
    EXPECT_EQ(ReadFile(m_store), before);

    for (std::size_t size : {kStoreReadLimit - 300, kStoreReadLimit + 300}) {
        bulky(size);
        const auto removed = tool({"-u", FAKE_LIBRARY_B});
        EXPECT_EQ(removed.exitStatus, 0) << removed.err;
        EXPECT_TRUE(Stored().IsEmpty());
    }
}

TEST_F(Registration, ADamagedStoreIsReportedAndNeverOverwritten) {
    ASSERT_EQ(Register(m_a), kOk);
    ASSERT_EQ(Register(m_b), kOk);
    const std::string good = ReadFile(m_store);
    const std::string damaged[] = {
        good.substr(0, good.size() / 2),
        good.substr(0, good.rfind("end")),
        good + "garbage\n",
        std::string("\0\0\0\0", 4),
        "",
        "karvel-component-store\t7\nend\t0\n",
    };
    for (const std::string& text : damaged) {
        SCOPED_TRACE(text);
        WriteFile(m_store, text);
        Guid clsid;
        EXPECT_EQ(ClassIdFromProgId(fake::kA.progId, &clsid), kRegistryAccess);
        EXPECT_TRUE(Contains(LastActivationError(), m_store + " is damaged"))
            << LastActivationError();
        void* factory = nullptr;
        EXPECT_EQ(GetClassObject(fake::kA.clsid, kIidClassFactory, &factory), kRegistryAccess);
        EXPECT_TRUE(Contains(LastActivationError(), m_store)) << LastActivationError();
        const TypeLibraryInfo* info = nullptr;
        EXPECT_EQ(LoadRegisteredTypeLibrary(fake::kA.libid, 1, 0, &info), kRegistryAccess);

        EXPECT_EQ(RegisterTypeLibrary(m_a, fake::kA.libid, 1, 0, 0), kRegistryAccess);
        EXPECT_EQ(UnregisterClass(fake::kA.clsid, fake::kA.progId), kRegistryAccess);
        EXPECT_TRUE(Contains(LastActivationError(), m_store)) << LastActivationError();
        EXPECT_EQ(Register(m_a), kSelfRegTypeLibrary);
        EXPECT_EQ(ReadFile(m_store), text);
    }
}

TEST_F(Registration, ATypeLibraryMustBeTheOneRegistered) {
    // The store says library A carries B's type library, and names a file without the export.
    ASSERT_EQ(RegisterTypeLibrary(m_a, fake::kB.libid, 1, 0, 0), kOk);
    ASSERT_EQ(RegisterTypeLibrary(FAKE_LIBRARY_NOEXPORT, fake::kA.libid, 2, 0, 0), kOk);
    ASSERT_EQ(RegisterTypeLibrary(m_dir / "gone.so", fake::kA.libid, 3, 0, 0), kOk);
    ASSERT_EQ(RegisterTypeLibrary(m_a, fake::kA.libid, 1, 4, 0), kOk);
    struct Case {
        Guid libid;
        std::uint16_t major, minor;
        Result expected;
        const char* message;
    } cases[] = {
        {fake::kB.libid, 1, 0, kCannotLoadLibrary,
         "carries {A0000003-1111-4111-8111-111111111111}"},
        {fake::kA.libid, 2, 0, kCannotLoadLibrary, "does not export DllGetTypeLibrary"},
        {fake::kA.libid, 3, 0, kCannotLoadLibrary, "gone.so cannot be found"},
        // 1.4 is the newest 1.x registered, but the file carries 1.0.
        {fake::kA.libid, 1, 0, kCannotLoadLibrary, "version 1.4: "},
        {fake::kA.libid, 1, 5, kLibraryNotRegistered, "is not registered: the registration store"},
        {fake::kUnknownClsid, 1, 0, kLibraryNotRegistered, "1.0 is not registered: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const TypeLibraryInfo* info = nullptr;
        EXPECT_EQ(LoadRegisteredTypeLibrary(c.libid, c.major, c.minor, &info), c.expected);
        EXPECT_EQ(info, nullptr);
        EXPECT_TRUE(Contains(LastActivationError(), c.message)) << LastActivationError();
    }
}

TEST_F(Registration, RefusesBadArgumentsWithoutTouchingTheStore) {
    ControlClassRegistration reg{"relative/lib.so",
                                 fake::kA.clsid,
                                 "Good.Name",
                                 "n",
                                 1,
                                 kRegApartmentThreading,
                                 0,
                                 fake::kA.libid,
                                 1,
                                 0};
    EXPECT_EQ(RegisterControlClass(reg), kInvalidArgument);
    reg.libraryPath = m_a;
    reg.progId = "Bad Name";
    EXPECT_EQ(RegisterControlClass(reg), kInvalidArgument);
    EXPECT_EQ(RegisterPropertyPageClass("lib.so", fake::kA.pageClsid, "n"), kInvalidArgument);
    EXPECT_EQ(RegisterTypeLibrary("lib.so", fake::kA.libid, 1, 0, 0), kInvalidArgument);
    EXPECT_FALSE(std::filesystem::exists(m_store));

    ScopedEnv relative("KARVEL_COMPONENT_STORE", "relative.store");
    EXPECT_EQ(RegisterTypeLibrary(m_a, fake::kA.libid, 1, 0, 0), kRegistryAccess);
    EXPECT_TRUE(Contains(LastActivationError(), "not an absolute path"));
    EXPECT_FALSE(std::filesystem::exists("relative.store"));
}

TEST_F(Registration, TheDefaultStoreLivesInTheUsersDataDirectory) {
    ScopedEnv noStore("KARVEL_COMPONENT_STORE", std::nullopt);
    ScopedEnv data("XDG_DATA_HOME", m_dir / "xdg");
    ASSERT_EQ(Register(m_b), kOk) << LastActivationError();
    const std::string path = m_dir / "xdg/karvel/components.store";
    ASSERT_TRUE(std::filesystem::exists(path));
    Guid clsid;
    EXPECT_EQ(ClassIdFromProgId(fake::kB.progId, &clsid), kOk);
    EXPECT_EQ(clsid, fake::kB.clsid);

    ScopedEnv noData("XDG_DATA_HOME", std::nullopt);
    ScopedEnv home("HOME", m_dir / "home");
    std::string error;
    EXPECT_EQ(StoreFile::Path(&error), m_dir / "home/.local/share/karvel/components.store");
}

// The registration tool, run as its own process.
class RegisterTool : public Registration {
  protected:
    testing_support::ProgramRun Run(std::vector<std::string> args,
                                    std::optional<uid_t> asUser = std::nullopt) {
        return RunProgram(LUMEQ_REGISTER, args, m_dir.Path().string(), asUser);
    }
};

using testing_support::kNobody;

TEST_F(RegisterTool, RegistersAndUnregistersALibrary) {
    auto run = Run({FAKE_LIBRARY_A});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "DllRegisterServer in " + m_a + " returned 0x00000000 (success)"))
        << run.out;
    EXPECT_NE(Stored().FindClass(fake::kA.clsid), nullptr);

    run = Run({"--list"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(Contains(run.out, "Registration store: " + m_store)) << run.out;
    EXPECT_TRUE(Contains(run.out, "Fake.ComponentA.1 -> " + fake::kA.clsid.ToString())) << run.out;
    EXPECT_TRUE(Contains(run.out, "misc status 0x00020191")) << run.out;

    run = Run({"-u", FAKE_LIBRARY_A});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "DllUnregisterServer in " + m_a + " returned 0x00000000"));
    EXPECT_TRUE(Stored().IsEmpty());
}

// The machine's store, written by --system, serves a host whose own store is empty; an entry of
// the user's own store for the same class wins.
TEST_F(RegisterTool, TheMachineStoreServesEveryUserAndTheUsersEntryWins) {
    if (geteuid() != 0)
        GTEST_SKIP() << "--system changes the machine's store, which needs root";
    const std::string machine = m_dir / "machine/karvel/components.store";
    ScopedEnv machineEnv("KARVEL_MACHINE_STORE", machine);
    auto run = Run({"--system", FAKE_LIBRARY_A});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "Registered in " + machine)) << run.out;
    EXPECT_FALSE(std::filesystem::exists(m_store));
    struct stat folder {};
    ASSERT_EQ(stat((m_dir / "machine/karvel").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0755u);  // every user's programs read it

    Guid clsid;
    ASSERT_EQ(ClassIdFromProgId(fake::kA.progId, &clsid), kOk) << LastActivationError();
    Ref<Dispatch> object;
    ASSERT_EQ(CreateInstance(clsid, kIidDispatch, object.Out()), kOk) << LastActivationError();
    Variant answer;
    EXPECT_EQ(object->Invoke(fake::kAnswerId, InvokeKind::Method, {}, &answer, nullptr), kOk);
    EXPECT_EQ(answer.AsInteger(), fake::kA.answer);

    // The user's entry names another library for the class: that one is asked (and refuses).
    std::string error;
    PutClassA(m_store, m_b);
    void* factory = nullptr;
    EXPECT_NE(GetClassObject(fake::kA.clsid, kIidClassFactory, &factory), kOk);
    EXPECT_TRUE(Contains(LastActivationError(), "the library " + m_b)) << LastActivationError();
    std::filesystem::remove(m_store);

    run = Run({"--system", "--list"});
    EXPECT_TRUE(Contains(run.out, "Registration store: " + machine)) << run.out;
    EXPECT_TRUE(Contains(run.out, "Fake.ComponentA.1 -> ")) << run.out;

    // Another user may read the machine's store but not change it. (The tool is copied where
    // that user can run it, whatever the folders of the build tree allow.)
    TempDir shared;
    std::filesystem::permissions(shared.Path(), std::filesystem::perms(0755));
    std::filesystem::copy_file(LUMEQ_REGISTER, shared / "lumeq-register");
    run = RunProgram("/usr/bin/setpriv",
                     {"--reuid=65534", "--regid=65534", "--clear-groups", shared / "lumeq-register",
                      "-u", "--system", FAKE_LIBRARY_A},
                     m_dir.Path().string());
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_TRUE(
        Contains(run.err, "only root may change the machine's registration store " + machine))
        << run.err;

    run = Run({"-u", "--system", FAKE_LIBRARY_A});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    RegistrationStore left;
    EXPECT_EQ(StoreFile::Load(machine, &left, &error), kOk) << error;
    EXPECT_TRUE(left.IsEmpty());
}

// Stores that packages ship come after the machine's, by folder of XDG_DATA_DIRS and then by
// name; an entry of an earlier store wins.
TEST_F(Registration, ShippedStoresComeAfterTheMachinesInOrder) {
    const std::string machine = m_dir / "state/components.store";
    ScopedEnv machineEnv("KARVEL_MACHINE_STORE", machine);
    ScopedEnv dirs("XDG_DATA_DIRS",
                   m_dir / "one" + ":relative:" + m_dir / "two/" + ":" + m_dir / "one");
    const std::string one = m_dir / "one/karvel/components.d/";
    const std::string two = m_dir / "two/karvel/components.d/";
    for (const std::string& name : {one + "b.store", one + "a.store", one + ".hidden.store",
                                    one + "a.store.dpkg-new", one + "notes", two + "c.store"})
        WriteFile(name, RegistrationStore().Format());
    EXPECT_EQ(
        StoreFile::MachinePaths(),
        (std::vector<std::string>{machine, one + "a.store", one + "b.store", two + "c.store"}));
    {
        ScopedEnv relative("KARVEL_MACHINE_STORE", "state/components.store");
        std::string error;
        EXPECT_TRUE(StoreFile::MachinePath(&error).empty());
        EXPECT_TRUE(Contains(error, "KARVEL_MACHINE_STORE")) << error;
        EXPECT_EQ(StoreFile::MachinePaths().front(), one + "a.store");
    }

    // The machine's entry names library B for class A, the shipped one library A.
    PutClassA(machine, m_b);
    PutClassA(one + "b.store", m_a);
    void* factory = nullptr;
    EXPECT_NE(GetClassObject(fake::kA.clsid, kIidClassFactory, &factory), kOk);
    EXPECT_TRUE(Contains(LastActivationError(), "the library " + m_b)) << LastActivationError();
    std::filesystem::remove(machine);
    Ref<ClassFactory> shipped;
    EXPECT_EQ(GetClassObject(fake::kA.clsid, kIidClassFactory, shipped.Out()), kOk)
        << LastActivationError();
}

// A library removed before it was unregistered cannot run its own unregistration: the tool
// removes what names it.
TEST_F(RegisterTool, UnregisteringALibraryThatIsGoneRemovesItsEntries) {
    const std::string copy = m_dir / "copy/libgone.so";
    std::filesystem::create_directories(m_dir / "copy");
    std::filesystem::copy_file(FAKE_LIBRARY_B, copy);
    ASSERT_EQ(Run({FAKE_LIBRARY_A}).exitStatus, 0);
    ASSERT_EQ(Run({copy}).exitStatus, 0);
    std::filesystem::remove(copy);

    // Named through a detour, as a user might.
    auto run = Run({m_dir / "copy/../copy/libgone.so"});
    EXPECT_EQ(run.exitStatus, 2);  // registering it needs the file
    run = Run({"-u", m_dir / "copy/../copy/libgone.so"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "no longer exists; removed its")) << run.out;
    const RegistrationStore store = Stored();
    EXPECT_EQ(store.FindClass(fake::kB.clsid), nullptr);
    EXPECT_FALSE(store.FindProgId(fake::kB.progId));
    EXPECT_EQ(store.FindTypeLibrary(fake::kB.libid, 1, 0), nullptr);
    EXPECT_NE(store.FindClass(fake::kA.clsid), nullptr);  // another library's entries stay

    run = Run({"-u", copy});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(Contains(run.out, "names nothing of it")) << run.out;
}

TEST_F(RegisterTool, ExitsWithFailureWhenTheLibraryCannotServe) {
    ScopedEnv fault(kFault, "class");
    struct Case {
        std::vector<std::string> args;
        int exitStatus;
        const char* out;
        const char* err;
    } cases[] = {
        {{FAKE_LIBRARY_B}, 1, "returned 0x80040201 (", ""},
        {{FAKE_LIBRARY_NOEXPORT}, 2, "", "does not export DllRegisterServer"},
        {{m_dir / "missing.so"}, 2, "", "missing.so cannot be found"},
        {{"-u"}, 2, "", "no library given"},
        {{"--bogus"}, 2, "", "unknown argument: --bogus: no such option"},
        {{FAKE_LIBRARY_A, FAKE_LIBRARY_B}, 2, "", "one library only"},
        {{"--help"}, 0, "Usage: lumeq-register [-u] [--system] LIBRARY.so", ""},
        {{"-u", m_dir / "new\nline.so"}, 0, "new\\x0aline.so no longer exists", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        const auto run = Run(c.args);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.out << run.err;
        EXPECT_TRUE(Contains(run.out, c.out)) << run.out;
        EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
    }
}

TEST_F(RegisterTool, ReportsADamagedStore) {
    const std::string garbage = "karvel-component-store\t1\nclass\t{oops}\n";
    const struct {
        const char* name;
        const char* because;
    } cases[] = {
        {"garbage", "is damaged: line 2: \"{oops}\""},
        {"a FIFO", "cannot be read: it is a FIFO (named pipe), not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(m_store);
        if (c.name == std::string("a FIFO"))
            ASSERT_EQ(mkfifo(m_store.c_str(), 0600), 0);
        else
            WriteFile(m_store, garbage);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{FAKE_LIBRARY_A}, {"-u", FAKE_LIBRARY_A}, {"--list"}}) {
            SCOPED_TRACE(args.front());
            const auto run = Run(args);
            EXPECT_EQ(run.exitStatus, 2);
            EXPECT_TRUE(Contains(run.err, "the registration store " + m_store + " " + c.because))
                << run.err;
        }
    }
    EXPECT_TRUE(std::filesystem::is_fifo(m_store));
}

// The library reports only a result code; the tool finds out and says why the store failed it.
TEST_F(RegisterTool, SaysWhyTheStoreCannotBeWritten) {
    if (geteuid() != 0)
        GTEST_SKIP() << "files of other users need root";
    const std::string folder = m_dir / "data/karvel";
    const std::string lock = m_store + ".lock";
    const std::string readOnly = m_dir / "read-only";
    // Only nobody meets a read-only folder; nobody must reach it and the tool's files.
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0755), 0);
    std::filesystem::create_directories(readOnly);
    struct Case {
        const char* name;
        std::function<void()> make;
        int exitStatus;
        std::string because;
        std::optional<uid_t> asUser = std::nullopt;
    } cases[] = {
        {"lock file that is a folder", [&] { std::filesystem::create_directories(lock); }, 1,
         "cannot use the lock file " + lock + ": Is a directory"},
        {"lock file that is a link",
         [&] {
             std::filesystem::create_directories(folder);
             std::filesystem::create_symlink(m_dir / "elsewhere", lock);
         },
         1, "cannot use the lock file " + lock + ": it is a symbolic link"},
        {"another user's lock file",
         [&] {
             WriteFile(lock, "");
             ASSERT_EQ(chown(lock.c_str(), kNobody, kNobody), 0);
         },
         1, "cannot use the lock file " + lock + ": it belongs to nobody (uid 65534), not to you"},
        {"another user's store",
         [&] {
             WriteFile(m_store, RegistrationStore().Format());
             ASSERT_EQ(chown(m_store.c_str(), kNobody, kNobody), 0);
         },
         2, "the file " + m_store + " belongs to another user (owner nobody (uid 65534)"},
        {"read-only data folder", [] {}, 1,
         "cannot create the folder " + readOnly + "/karvel of the registration store " + readOnly +
             "/karvel/components.store: Permission denied",
         kNobody},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_dir / "data");
        c.make();
        ScopedEnv store("KARVEL_COMPONENT_STORE",
                        c.asUser ? std::nullopt : std::optional<std::string>(m_store));
        ScopedEnv data("XDG_DATA_HOME", readOnly);
        const auto run = Run({FAKE_LIBRARY_A}, c.asUser);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.out << run.err;
        if (c.exitStatus == 1) {
            EXPECT_TRUE(Contains(run.out, "returned 0x80040200")) << run.out;
        }
        EXPECT_TRUE(Contains(run.err, c.because)) << run.err;
    }
}

// --system makes the machine store's folders readable by every user whatever root's umask,
// and makes nothing inside a folder another user could change.
TEST_F(RegisterTool, TheMachineStoresFoldersAreMadeOnlyWhereTheyAreTrusted) {
    if (geteuid() != 0)
        GTEST_SKIP() << "--system changes the machine's store, which needs root";
    std::filesystem::create_directories(m_dir / "foreign");
    ASSERT_EQ(chown((m_dir / "foreign").c_str(), kNobody, kNobody), 0);
    const mode_t umaskBefore = umask(077);
    std::optional<testing_support::ProgramRun> made, refused;
    {
        ScopedEnv machine("KARVEL_MACHINE_STORE", m_dir / "new/share/karvel/components.store");
        made = Run({"--system", FAKE_LIBRARY_A});
    }
    {
        ScopedEnv machine("KARVEL_MACHINE_STORE", m_dir / "foreign/karvel/components.store");
        refused = Run({"--system", FAKE_LIBRARY_A});
    }
    umask(umaskBefore);

    EXPECT_EQ(made->exitStatus, 0) << made->err;
    for (const char* folder : {"new", "new/share", "new/share/karvel"}) {
        struct stat st {};
        ASSERT_EQ(stat((m_dir / folder).c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 07777, 0755u) << folder;
    }
    EXPECT_EQ(refused->exitStatus, 2);
    EXPECT_TRUE(
        Contains(refused->err, "the folder " + m_dir / "foreign" + " belongs to another user"))
        << refused->err;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "foreign/karvel"));
}

TEST_F(RegisterTool, AFullDiskIsNamedAsTheReason) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const std::string disk = m_dir / "disk";
    std::filesystem::create_directories(disk);
    ScopedEnv store("KARVEL_COMPONENT_STORE", disk + "/karvel/components.store");
    // A private mount that goes with the process: 16 KiB, filled up.
    const auto run =
        RunProgram("/usr/bin/unshare",
                   {"--mount", "sh", "-c",
                    "mount -t tmpfs -o size=16k tmpfs \"$1\" && mkdir \"$1/karvel\" || exit 99; "
                    "cat /dev/zero >\"$1/fill\" 2>/dev/null; exec \"$2\" \"$3\"",
                    "sh", disk, LUMEQ_REGISTER, FAKE_LIBRARY_A},
                   m_dir.Path().string());
    if (run.exitStatus == 99 || run.err.starts_with("unshare:"))
        GTEST_SKIP() << "cannot mount here: " << run.err;
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_TRUE(Contains(run.err, "No space left on device")) << run.err;
}

TEST_F(RegisterTool, AHeldLockIsNamedInsteadOfWaitedForForEver) {
    const std::string lockPath = m_store + ".lock";
    WriteFile(lockPath, "");
    const posix::UniqueFd held(open(lockPath.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_EQ(flock(held.Get(), LOCK_EX), 0);
    const auto run = Run({FAKE_LIBRARY_A});
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_TRUE(Contains(
        run.err, "the lock file " + lockPath + " is held by process " + std::to_string(getpid())))
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(m_store));
}

// A stray environment variable cannot make the shipped library's registration fail.
TEST_F(RegisterTool, TheShippedLibraryHasNoFaultSwitch) {
    ScopedEnv fault(kFault, "typelib,class");
    EXPECT_EQ(Run({FAKE_LIBRARY_A}).exitStatus, 1) << "the switch of the test build is on";
    const auto run = Run({LUMEQ_LIBRARY});
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, "returned 0x00000000 (success)")) << run.out;
}

}  // namespace
}  // namespace component
