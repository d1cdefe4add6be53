#include "platform/component/RegistrationStore.h"

#include <gtest/gtest.h>

namespace component {
namespace {

constexpr Guid kClass = MakeGuid("{22C8BBAD-8918-4858-8EED-45BEE06CC11F}");
constexpr Guid kPage = MakeGuid("{4FF6550D-D94F-4965-9C83-FA7D59415F7B}");
constexpr Guid kLib = MakeGuid("{3D671000-08A8-4537-8AAA-BD7575F84F8B}");

RegistrationStore SampleStore() {
    RegistrationStore store;
    StoredClass control;
    control.clsid = kClass;
    control.library = "/opt/with space/lib\\odd\tname.so";
    control.userTypeName = "Two\nlines";
    control.progId = "Lumeq.LumeqCtrl.1";
    control.threading = "Apartment";
    control.control = true;
    control.insertable = false;
    control.toolboxBitmap = 1;
    control.miscStatus = 0x00020191;
    control.typeLibrary = TypeLibraryVersion{kLib, 1, 0};
    store.PutClass(control);
    StoredClass page;
    page.clsid = kPage;
    page.library = "/lib/libLumeq.so";
    page.userTypeName = "Lumeq Property Page";
    store.PutClass(page);
    store.PutProgId({"Lumeq.LumeqCtrl.1", kClass});
    store.PutTypeLibrary({{kLib, 1, 0}, 0, "/lib/libLumeq.so", "/lib"});
    return store;
}

Result ParseText(std::string_view text, RegistrationStore* out, std::string* error) {
    return RegistrationStore::Parse(text, "/s/store", out, error);
}

TEST(RegistrationStore, FormatsAndParsesBackEveryField) {
    const RegistrationStore store = SampleStore();
    RegistrationStore parsed;
    std::string error;
    ASSERT_EQ(ParseText(store.Format(), &parsed, &error), kOk) << error;
    EXPECT_EQ(parsed, store);
    EXPECT_EQ(parsed.Classes().size(), 2u);
    EXPECT_EQ(parsed.FindClass(kClass)->userTypeName, "Two\nlines");
    EXPECT_EQ(parsed.FindProgId("Lumeq.LumeqCtrl.1"), kClass);
    EXPECT_FALSE(parsed.FindProgId("Lumeq.LumeqCtrl.2"));
}

TEST(RegistrationStore, AClassThatIsNoControlKeepsItsOtherFlagsThroughARewrite) {
    RegistrationStore store;
    StoredClass other;
    other.clsid = kPage;
    other.library = "/lib/libOther.so";
    other.userTypeName = "Other";
    other.insertable = true;
    other.toolboxBitmap = 7;
    other.miscStatus = 0x10;
    store.PutClass(other);
    RegistrationStore parsed;
    std::string error;
    ASSERT_EQ(ParseText(store.Format(), &parsed, &error), kOk) << error;
    EXPECT_EQ(parsed, store) << store.Format();
    EXPECT_FALSE(parsed.FindClass(kPage)->control);
}

TEST(RegistrationStore, NoticesEveryCutOffFile) {
    const std::string text = SampleStore().Format();
    for (std::size_t length = 0; length < text.size(); ++length) {
        RegistrationStore parsed;
        std::string error;
        ASSERT_EQ(ParseText(text.substr(0, length), &parsed, &error), kRegistryAccess)
            << "cut after " << length << " bytes was accepted";
        EXPECT_TRUE(error.starts_with("the registration store /s/store is damaged: ")) << error;
        EXPECT_TRUE(parsed.IsEmpty());
    }
}

TEST(RegistrationStore, NamesTheLineAndReasonOfDamage) {
    const std::string header = "karvel-component-store\t1\n";
    const std::string lib = "typelib\t" + kLib.ToString() + "\tversion=1.0\tlcid=0\tlibrary=/l.so";
    struct Case {
        std::string text;
        const char* expected;
    } cases[] = {
        {std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
         "line 1: the line holds a NUL byte"},
        {"hello world\n", "line 1: expected the header"},
        {"karvel-component-store\t2\nend\t0\n", "line 1: format 2 is not known here"},
        {"karvel-component-store\tone\nend\t0\n", "line 1: the format number"},
        {"# only a comment\n", "line 1: the header line is missing"},
        {header, "the end line is missing"},
        {header + "end\t1\n", "line 2: the end line counts 1 records, but 0 were read"},
        {header + "end\t0\nclass\n", "line 3: text after the end line"},
        {header + "bogus\t{x}\nend\t1\n", "line 2: unknown record \"bogus\""},
        {header + "class\n", "line 2: a \"class\" record without its key"},
        {header + "class\t{22C8BBAD}\tlibrary=/l.so\nend\t1\n", "line 2: \"{22C8BBAD}\" is not"},
        {header + "class\t" + kClass.ToString() + "\tname=x\nend\t1\n",
         "line 2: the class {22C8BBAD-8918-4858-8EED-45BEE06CC11F} has no absolute library"},
        {header + "class\t" + kClass.ToString() + "\tlibrary=rel.so\nend\t1\n",
         "has no absolute library"},
        {header + "class\t" + kClass.ToString() + "\tlibrary=/l.so\tcolour=red\nend\t1\n",
         "line 2: unknown field \"colour\""},
        {header + "class\t" + kClass.ToString() + "\tlibrary=/l.so\tlibrary=/m.so\nend\t1\n",
         "appears twice"},
        {header + "class\t" + kClass.ToString() + "\tlibrary=/l\\q.so\nend\t1\n", "bad escape"},
        {header + "class\t" + kClass.ToString() + "\tlibrary=/l.so\tmisc=0x1FFFFFFFF\nend\t1\n",
         "misc must be a 32-bit number"},
        {header + "class\t" + kClass.ToString() + "\tlibrary=/l.so\tcontrol=yes\nend\t1\n",
         "control must be 0 or 1"},
        {header + "class\t" + kClass.ToString() + "\tlibrary=/l.so\ttypelib=" + kLib.ToString() +
             "\nend\t1\n",
         "typelib and version must both be given"},
        {header + "class\t" + kClass.ToString() + "\tlibrary=/l.so\n" + "class\t" +
             kClass.ToString() + "\tlibrary=/l.so\nend\t2\n",
         "line 3: the class {22C8BBAD-8918-4858-8EED-45BEE06CC11F} is listed twice"},
        {header + "progid\t9Bad\tclsid=" + kClass.ToString() + "\nend\t1\n",
         "line 2: \"9Bad\" is not a ProgID"},
        {header + "progid\tA.B\n" + "end\t1\n", "the ProgID A.B has no class identifier"},
        {header + lib + "\n" + lib + "\nend\t2\n", "line 3: the type library is listed twice"},
        {header + "typelib\t" + kLib.ToString() + "\tversion=1\tlcid=0\tlibrary=/l.so\nend\t1\n",
         "needs version=N.N"},
        {header + "typelib\t" + kLib.ToString() + "\tversion=1.70000\tlcid=0\tlibrary=/l.so\n",
         "needs version=N.N"},
        {header + "typelib\t" + kLib.ToString() + "\tversion=1.0\tlibrary=/l.so\nend\t1\n",
         "needs lcid=N"},
        {header + lib + "\nend\t1", "the last line is cut off"},
        {header + std::string("class\t\0\n", 8) + "end\t1\n", "line 2: the line holds a NUL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RegistrationStore parsed;
        std::string error;
        EXPECT_EQ(ParseText(c.text, &parsed, &error), kRegistryAccess);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_NE(error.find("/s/store"), std::string::npos) << error;
    }
}

TEST(RegistrationStore, AcceptsCommentsBlankLinesAndCarriageReturns) {
    const std::string text =
        "# written by hand\r\nkarvel-component-store\t1\r\n\r\n# a comment\n"
        "progid\tA.B\tclsid=" +
        kClass.ToString() + "\r\nend\t1\r\n";
    RegistrationStore parsed;
    std::string error;
    ASSERT_EQ(ParseText(text, &parsed, &error), kOk) << error;
    EXPECT_EQ(parsed.FindProgId("A.B"), kClass);
}

TEST(RegistrationStore, FindsTheHighestCompatibleTypeLibrary) {
    RegistrationStore store;
    store.PutTypeLibrary({{kLib, 1, 0}, 0, "/v10.so", "/"});
    store.PutTypeLibrary({{kLib, 1, 2}, 0x409, "/v12-english.so", "/"});
    store.PutTypeLibrary({{kLib, 1, 2}, 0, "/v12.so", "/"});
    store.PutTypeLibrary({{kLib, 2, 0}, 0, "/v20.so", "/"});
    struct Case {
        std::uint16_t major, minor;
        const char* library;  // null: none
    } cases[] = {{1, 0, "/v12.so"}, {1, 2, "/v12.so"}, {1, 3, nullptr},
                 {2, 0, "/v20.so"}, {0, 0, nullptr},   {3, 0, nullptr}};
    for (const Case& c : cases) {
        const StoredTypeLibrary* found = store.FindTypeLibrary(kLib, c.major, c.minor);
        EXPECT_EQ(found ? found->library : "", c.library ? c.library : "")
            << c.major << "." << c.minor;
    }
    EXPECT_EQ(store.FindTypeLibrary(kClass, 1, 0), nullptr);
}

TEST(RegistrationStore, ReplacesAndRemovesEntriesByTheirKeys) {
    RegistrationStore store = SampleStore();
    StoredClass page = *store.FindClass(kPage);
    EXPECT_FALSE(store.PutClass(page));
    page.library = "/other.so";
    EXPECT_TRUE(store.PutClass(page));
    EXPECT_EQ(store.Classes().size(), 2u);
    EXPECT_EQ(store.FindClass(kPage)->library, "/other.so");

    // A ProgID is removed only while it still names the class being removed.
    EXPECT_FALSE(store.RemoveProgId("Lumeq.LumeqCtrl.1", kPage));
    EXPECT_TRUE(store.RemoveProgId("Lumeq.LumeqCtrl.1", kClass));
    EXPECT_FALSE(store.RemoveTypeLibrary({kLib, 1, 0}, 0x409));
    EXPECT_TRUE(store.RemoveTypeLibrary({kLib, 1, 0}, 0));
    EXPECT_TRUE(store.RemoveClass(kClass));
    EXPECT_TRUE(store.RemoveClass(kPage));
    EXPECT_FALSE(store.RemoveClass(kPage));
    EXPECT_TRUE(store.IsEmpty());
}

TEST(RegistrationStore, ChecksProgIds) {
    for (const char* good :
         {"Lumeq.LumeqCtrl.1", "A", "a_b.c", "X123456789012345678901234567890123456"})
        EXPECT_TRUE(IsValidProgId(good)) << good;
    for (const char* bad : {"", "1Lumeq", "Lumeq Ctrl", "Lumeq\tCtrl", "L=1", "Lumeq-Ctrl",
                            "X1234567890123456789012345678901234567890"})
        EXPECT_FALSE(IsValidProgId(bad)) << bad;
}

}  // namespace
}  // namespace component
