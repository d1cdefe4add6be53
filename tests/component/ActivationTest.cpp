#include "platform/component/Activation.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/component/Ref.h"
#include "platform/component/Registration.h"
#include "tests/component/fake/FakeIds.h"
#include "tools/peers/TestFiles.h"

namespace component {
namespace {

using testing_support::ScopedCwd;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace fs = std::filesystem;

constexpr const char* kManifestVariable = "KARVEL_COMPONENT_MANIFEST";

std::string LineFor(const Guid& clsid, const std::string& library) {
    return "class " + clsid.ToString() + " " + library + "\n";
}

// Creates the class and asks its one member for the answer; -1 when that fails.
int AnswerOf(const Guid& clsid) {
    Ref<Dispatch> object;
    if (Failed(CreateInstance(clsid, kIidDispatch, object.Out())) || !object)
        return -1;
    Variant result;
    if (Failed(object->Invoke(fake::kAnswerId, InvokeKind::Method, {}, &result, nullptr)))
        return -1;
    return static_cast<int>(result.AsInteger());
}

TEST(Activation, UsesTheManifestBesideTheProgram) {
    ScopedEnv noOverride(kManifestVariable, std::nullopt);
    EXPECT_EQ(AnswerOf(fake::kA.clsid), fake::kA.answer) << LastActivationError();

    void* object = nullptr;
    EXPECT_EQ(GetClassObject(fake::kB.clsid, kIidClassFactory, &object), kClassNotRegistered);
    EXPECT_EQ(object, nullptr);
    const std::string beside = ModulePathOf(reinterpret_cast<const void*>(&AnswerOf)) + ".manifest";
    EXPECT_NE(LastActivationError().find(beside), std::string::npos) << LastActivationError();
}

struct ManifestCase {
    const char* name;
    std::string manifest;  // "@" stands for the temporary directory
    Guid clsid;
    Result expected;
    const char* messagePart;  // in LastActivationError() on failure; "@" as above
};

TEST(Activation, ReadsTheManifestNamedInTheEnvironment) {
    TempDir dir;
    fs::create_directories(dir.Path() / "sub");
    fs::create_symlink(FAKE_LIBRARY_B, dir.Path() / "sub" / "libb.so");
    WriteFile(dir / "not-elf.so", "this is text, not a shared library\n");
    const std::string a = FAKE_LIBRARY_A;

    const ManifestCase cases[] = {
        {"relative to the manifest", LineFor(fake::kB.clsid, "sub/libb.so"), fake::kB.clsid, kOk,
         ""},
        {"absolute", LineFor(fake::kA.clsid, a), fake::kA.clsid, kOk, ""},
        {"comments, blanks, tabs and CR LF",
         "# classes\n\n   \n\t# indented comment\r\nclass\t" + fake::kA.clsid.ToString() + " \t" +
             a + "  \r\n",
         fake::kA.clsid, kOk, ""},
        {"lower-case identifier", "class {a0000001-1111-4111-8111-111111111111} " + a + "\n",
         fake::kA.clsid, kOk, ""},
        {"class not listed", LineFor(fake::kA.clsid, a), fake::kUnknownClsid, kClassNotRegistered,
         "@/app.manifest does not list it"},
        {"empty manifest", "", fake::kA.clsid, kClassNotRegistered, "does not list it"},
        {"missing library file", LineFor(fake::kA.clsid, "gone/libgone.so"), fake::kA.clsid,
         kCannotLoadLibrary, "@/gone/libgone.so cannot be found"},
        {"library lacks the export", LineFor(fake::kA.clsid, FAKE_LIBRARY_NOEXPORT), fake::kA.clsid,
         kCannotLoadLibrary, "does not export DllGetClassObject"},
        {"not a shared library", LineFor(fake::kA.clsid, "not-elf.so"), fake::kA.clsid,
         kCannotLoadLibrary, "@/not-elf.so cannot be loaded: "},
        {"library does not serve the class", LineFor(fake::kUnknownClsid, a), fake::kUnknownClsid,
         kClassNotAvailable, "did not give its class object"},
        {"unknown keyword", LineFor(fake::kB.clsid, a) + "klass {X} lib.so\n", fake::kB.clsid,
         kRegistryAccess, "@/app.manifest:2: expected \"class {CLSID} LIBRARY\""},
        {"bad identifier", "\n\nclass {A0000001-1111} " + a + "\n", fake::kA.clsid, kRegistryAccess,
         "@/app.manifest:3: \"{A0000001-1111}\" is not a class identifier"},
        {"no library", "class " + fake::kA.clsid.ToString() + "   \n", fake::kA.clsid,
         kRegistryAccess, "@/app.manifest:1: the class {A0000001"},
        {"keyword alone", "class\n", fake::kA.clsid, kRegistryAccess, "@/app.manifest:1:"},
        {"listed twice", LineFor(fake::kA.clsid, a) + LineFor(fake::kA.clsid, a), fake::kA.clsid,
         kRegistryAccess, "@/app.manifest:2: the class {A0000001"},
        {"NUL byte", "class " + fake::kA.clsid.ToString() + std::string(" a\0b.so\n", 8),
         fake::kA.clsid, kRegistryAccess, "NUL"},
    };
    auto expand = [&](std::string text) {
        for (std::size_t at; (at = text.find('@')) != std::string::npos;)
            text.replace(at, 1, dir.Path().string());
        return text;
    };
    for (const ManifestCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "app.manifest", c.manifest);
        ScopedEnv manifest(kManifestVariable, dir / "app.manifest");
        void* factory = reinterpret_cast<void*>(1);
        const Result r = GetClassObject(c.clsid, kIidClassFactory, &factory);
        EXPECT_EQ(r, c.expected) << LastActivationError();
        if (Succeeded(r)) {
            ASSERT_NE(factory, nullptr);
            static_cast<ClassFactory*>(factory)->Release();
        } else {
            EXPECT_EQ(factory, nullptr);
            EXPECT_NE(LastActivationError().find(expand(c.messagePart)), std::string::npos)
                << LastActivationError();
        }
    }
}

TEST(Activation, AManifestNamedInTheEnvironmentMustExistAndBeAbsolute) {
    TempDir dir;
    void* factory = nullptr;
    {
        ScopedEnv manifest(kManifestVariable, dir / "missing.manifest");
        EXPECT_EQ(GetClassObject(fake::kA.clsid, kIidClassFactory, &factory), kRegistryAccess);
        EXPECT_NE(LastActivationError().find(dir / "missing.manifest"), std::string::npos);
    }
    {
        ScopedEnv manifest(kManifestVariable, "relative.manifest");
        EXPECT_EQ(GetClassObject(fake::kA.clsid, kIidClassFactory, &factory), kRegistryAccess);
        EXPECT_NE(LastActivationError().find("not absolute"), std::string::npos);
    }
    EXPECT_EQ(factory, nullptr);
}

TEST(Activation, NeverLoadsALibraryFromTheCurrentDirectory) {
    // The library exists in the current directory under the name the manifest gives, but not
    // beside the manifest.
    TempDir manifestDir;
    TempDir cwd;
    fs::copy_file(FAKE_LIBRARY_B, cwd.Path() / "libb.so");
    ScopedCwd inside(cwd.Path());
    for (const char* name : {"libb.so", "./libb.so"}) {
        SCOPED_TRACE(name);
        WriteFile(manifestDir / "app.manifest", LineFor(fake::kB.clsid, name));
        ScopedEnv manifest(kManifestVariable, manifestDir / "app.manifest");
        void* factory = nullptr;
        EXPECT_EQ(GetClassObject(fake::kB.clsid, kIidClassFactory, &factory), kCannotLoadLibrary);
        EXPECT_NE(LastActivationError().find(manifestDir.Path().string()), std::string::npos)
            << LastActivationError();
    }
}

TEST(Activation, LoadsALibraryOnceByItsCanonicalPath) {
    TempDir dir;
    fs::create_symlink(FAKE_LIBRARY_B, dir.Path() / "link.so");
    WriteFile(dir / "app.manifest", LineFor(fake::kB.clsid, "./link.so"));
    ScopedEnv manifest(kManifestVariable, dir / "app.manifest");

    Ref<Dispatch> first;
    Ref<Dispatch> second;
    ASSERT_EQ(CreateInstance(fake::kB.clsid, kIidDispatch, first.Out()), kOk)
        << LastActivationError();
    ASSERT_EQ(CreateInstance(fake::kB.clsid, kIidDispatch, second.Out()), kOk);
    // The objects' code lives in the real file, not in the link.
    const void* code = *reinterpret_cast<void* const*>(first.Get());
    EXPECT_EQ(ModulePathOf(code), fs::canonical(FAKE_LIBRARY_B).string());
    EXPECT_EQ(*reinterpret_cast<void* const*>(second.Get()), code);
}

TEST(Activation, CreateInstanceReportsWhatTheObjectLacks) {
    ScopedEnv noOverride(kManifestVariable, std::nullopt);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateInstance(fake::kA.clsid, kIidPersistState, &object), kNoInterface);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CreateInstance(fake::kA.clsid, kIidDispatch, nullptr), kNullPointer);
}

}  // namespace
}  // namespace component
