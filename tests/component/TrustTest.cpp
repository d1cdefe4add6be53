// Files that decide which code runs, planted where another user wrote them or could swap them:
// each is refused with its name, owner and mode, and a planted library's code never runs. The
// user's own files, root's, and files in a root-owned sticky folder still serve.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/component/Activation.h"
#include "platform/component/ErrorText.h"
#include "platform/component/LibraryCache.h"
#include "platform/component/Manifest.h"
#include "platform/component/StoreFile.h"
#include "tests/component/fake/FakeIds.h"
#include "tests/support/ChildProcess.h"
#include "tools/peers/TestFiles.h"

namespace component {
namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;
namespace fs = std::filesystem;

using testing_support::kNobody;
constexpr gid_t kNoGroup = 65534;  // the primary group of several system users

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A test folder with subfolders of every kind: "own" (0700), "sticky" (1777, like /tmp), "open"
// (0777), "foreign" (nobody's, 0755).
class Trust : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "making files of other users needs root";
        Folder("own", 0700, 0);
        Folder("sticky", 01777, 0);
        Folder("open", 0777, 0);
        Folder("foreign", 0755, kNobody);
    }

    void Folder(const std::string& name, mode_t mode, uid_t owner) {
        fs::create_directories(m_dir / name);
        ASSERT_EQ(chmod((m_dir / name).c_str(), mode), 0);
        ASSERT_EQ(chown((m_dir / name).c_str(), owner, owner), 0);
    }

    // Writes `content` at `path` with the given owner and mode.
    static void Plant(const std::string& path, const std::string& content, uid_t owner, gid_t group,
                      mode_t mode) {
        WriteFile(path, content);
        ASSERT_EQ(chown(path.c_str(), owner, group), 0);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    }

    bool LibraryRan() { return fs::exists(m_marker); }

    // Places a library, a manifest and a store with `place(extension, content)` (which returns
    // the path) and checks that each is used, or refused with `because` when it is not empty.
    void ExpectUsedOnlyIfTrusted(
        const std::function<std::string(const std::string&, const std::string&)>& place,
        const std::string& because, bool link) {
        const bool trusted = because.empty();
        auto expectRefused = [&](Result r, Result refusal, const std::string& error,
                                 const std::string& path) {
            EXPECT_EQ(r, refusal) << error;
            EXPECT_TRUE(Contains(error, path)) << error;
            EXPECT_TRUE(Contains(error, because)) << error;
            EXPECT_TRUE(Contains(error, "chmod go-w")) << error;
        };
        fs::remove(m_marker);
        const std::string library = place(".so", m_library);
        const Library* loaded = nullptr;
        const Result r = LoadCachedLibrary(library, &loaded);
        if (trusted) {
            EXPECT_EQ(r, kOk) << LastActivationError();
            EXPECT_TRUE(LibraryRan());
        } else {
            expectRefused(r, kCannotLoadLibrary, LastActivationError(), library);
            EXPECT_FALSE(LibraryRan()) << "the planted library's code ran";
        }

        // Neither a manifest nor a store is ever a link.
        const std::string manifestPath = place(".manifest", "# nothing\n");
        Manifest manifest;
        std::string error;
        const Result m = Manifest::Read(manifestPath, &manifest, &error);
        const std::string storePath = place(".store", RegistrationStore().Format());
        RegistrationStore stored;
        std::string storeError;
        const Result s = StoreFile::Load(storePath, &stored, &storeError);
        if (link) {
            EXPECT_EQ(m, kRegistryAccess);
            EXPECT_TRUE(Contains(error, manifestPath + " is a symbolic link")) << error;
            EXPECT_EQ(s, kRegistryAccess);
            EXPECT_TRUE(Contains(storeError, storePath + " is a symbolic link")) << storeError;
        } else if (trusted) {
            EXPECT_EQ(m, kOk) << error;
            EXPECT_EQ(s, kOk) << storeError;
        } else {
            expectRefused(m, kRegistryAccess, error, manifestPath);
            expectRefused(s, kRegistryAccess, storeError, storePath);
        }
    }

    TempDir m_dir;
    const std::string m_marker = m_dir / "marker";
    ScopedEnv m_markerEnv{"KARVEL_TEST_MARKER", m_marker};
    const std::string m_library = ReadFile(FAKE_LIBRARY_PLANTED);
};

struct Placement {
    const char* name;
    const char* folder;
    uid_t owner;
    gid_t group;
    mode_t mode;
    std::optional<uid_t> linkOwner;  // reached through a link of this user to a trusted copy
    std::string because;             // empty when it serves; "@" stands for the test folder
};

TEST_F(Trust, OnlyFilesNoOneElseCanChangeAreUsed) {
    const Placement cases[] = {
        {"own file", "own", 0, 0, 0644, {}, ""},
        {"root's file in a sticky folder", "sticky", 0, 0, 0644, {}, ""},
        {"group-writable, the group has no other member", "own", 0, 0, 0664, {}, ""},
        {"through root's link", "sticky", 0, 0, 0644, 0, ""},
        {"another user's file",
         "sticky",
         kNobody,
         kNoGroup,
         0644,
         {},
         "belongs to another user (owner nobody (uid 65534), mode 0644)"},
        {"writable by every user",
         "sticky",
         0,
         0,
         0666,
         {},
         "can be written by every user (owner root (uid 0), mode 0666)"},
        {"writable by a group with other members",
         "own",
         0,
         kNoGroup,
         0664,
         {},
         "(gid 65534), which has other members"},
        {"in a folder every user can write",
         "open",
         0,
         0,
         0644,
         {},
         "the folder @/open can be written by every user (owner root (uid 0), mode 0777)"},
        {"in another user's folder",
         "foreign",
         0,
         0,
         0644,
         {},
         "the folder @/foreign belongs to another user"},
        {"through another user's link", "sticky", 0, 0, 0644, kNobody,
         "the symbolic link @/sticky/"},
    };
    int index = 0;
    for (const Placement& c : cases) {
        SCOPED_TRACE(c.name);
        std::string because = c.because;
        if (const std::size_t at = because.find('@'); at != std::string::npos)
            because.replace(at, 1, m_dir.Path().string());
        const std::string base = m_dir / (c.folder + ("/case" + std::to_string(index++)));
        auto place = [&](const std::string& extension, const std::string& content) {
            const std::string path = base + extension;
            if (!c.linkOwner) {
                Plant(path, content, c.owner, c.group, c.mode);
                return path;
            }
            const std::string target =
                m_dir / ("own/" + fs::path(base).filename().string() + ".target" + extension);
            Plant(target, content, c.owner, c.group, c.mode);
            fs::create_symlink(target, path);
            EXPECT_EQ(lchown(path.c_str(), *c.linkOwner, *c.linkOwner), 0);
            return path;
        };
        ExpectUsedOnlyIfTrusted(place, because, c.linkOwner.has_value());
    }
}

// An access control list that lets another user or group write counts as much as the mode bits.
TEST_F(Trust, WriteEntriesOfTheAccessListCount) {
    const struct {
        const char* name;
        const char* fileAcl;    // for setfacl -m on each file
        const char* folderAcl;  // on the folder holding them
        std::string because;
    } cases[] = {
        {"another user may write", "u:65534:rw", nullptr,
         "can be written by the user nobody (uid 65534) through its access control list"},
        {"a group with other members may write", "g:65534:rw", nullptr,
         "(gid 65534) through its access control list, which has other members"},
        {"the mask takes the write away", "u:65534:rw,m::r", nullptr, ""},
        {"only the running user may write", "u:0:rw,g:0:rw", nullptr, ""},
        {"another user may write the folder", nullptr, "u:65534:rwx",
         "the folder @ can be written by the user nobody (uid 65534) through its access "
         "control list"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = m_dir / ("acl" + std::to_string(index++));
        Folder(fs::path(folder).filename(), 0755, 0);
        auto setfacl = [](const char* acl, const std::string& path) {
            const std::string command = "setfacl -m " + std::string(acl) + " " + path;
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        };
        if (c.folderAcl)
            setfacl(c.folderAcl, folder);
        std::string because = c.because;
        if (const std::size_t at = because.find('@'); at != std::string::npos)
            because.replace(at, 1, folder);
        auto place = [&](const std::string& extension, const std::string& content) {
            const std::string path = folder + "/file" + extension;
            Plant(path, content, 0, 0, 0644);
            if (c.fileAcl)
                setfacl(c.fileAcl, path);
            return path;
        };
        ExpectUsedOnlyIfTrusted(place, because, false);
    }
}

// The ways a host is led to a library: its manifest, the store named by the environment, and
// the store in the user's data folder.
TEST_F(Trust, APlantedLibraryIsRefusedOnEveryRoadToIt) {
    const std::string planted = m_dir / "sticky/libLumeq.so";
    Plant(planted, m_library, kNobody, kNoGroup, 0666);
    RegistrationStore listing;
    StoredClass entry;
    entry.clsid = fake::kA.clsid;
    entry.library = planted;
    listing.PutClass(entry);
    Plant(m_dir / "own/planted.store", listing.Format(), 0, 0, 0644);
    Plant(m_dir / "own/planted.manifest",
          "class " + fake::kA.clsid.ToString() + " " + planted + "\n", 0, 0, 0644);
    Plant(m_dir / "own/empty.manifest", "", 0, 0, 0644);
    // Another user made the data folder's karvel/ before the user did.
    Folder("sticky/data", 0700, 0);
    Folder("sticky/data/karvel", 0755, kNobody);
    Plant(m_dir / "sticky/data/karvel/components.store", listing.Format(), kNobody, kNoGroup, 0644);

    struct Road {
        const char* name;
        std::optional<std::string> manifest, store, dataHome;
        Result expected;
        std::string because;
    } roads[] = {
        {"the manifest",
         m_dir / "own/planted.manifest",
         m_dir / "none.store",
         {},
         kCannotLoadLibrary,
         planted + " belongs to another user"},
        {"the store named by the environment",
         m_dir / "own/empty.manifest",
         m_dir / "own/planted.store",
         {},
         kCannotLoadLibrary,
         planted + " belongs to another user"},
        {"another user's store named by the environment",
         m_dir / "own/empty.manifest",
         m_dir / "sticky/data/karvel/components.store",
         {},
         kRegistryAccess,
         "the folder " + (m_dir / "sticky/data/karvel") + " belongs to another user"},
        {"the user's data folder", m_dir / "own/empty.manifest", std::nullopt,
         m_dir / "sticky/data", kRegistryAccess,
         "the folder " + (m_dir / "sticky/data/karvel") + " belongs to another user"},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        ScopedEnv manifest("KARVEL_COMPONENT_MANIFEST", road.manifest);
        ScopedEnv store("KARVEL_COMPONENT_STORE", road.store);
        ScopedEnv data("XDG_DATA_HOME", road.dataHome);
        void* object = nullptr;
        EXPECT_EQ(CreateInstance(fake::kA.clsid, kIidDispatch, &object), road.expected);
        EXPECT_TRUE(Contains(LastActivationError(), road.because)) << LastActivationError();
    }
    EXPECT_FALSE(LibraryRan()) << "the planted library's code ran";
}

}  // namespace
}  // namespace component
