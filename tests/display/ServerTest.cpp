#include <gtest/gtest.h>

#include <string_view>

#include "display/LumeqIds.h"
#include "display/PropertyPage.h"
#include "display/res/LumeqVersion.h"
#include "platform/component/Activation.h"
#include "platform/component/TypeLibrary.h"
#include "tests/display/LumeqHost.h"

namespace lumeq_test {
namespace {

using component::Guid;
using component::kFalse;
using component::kOk;

constexpr Guid kUnknownClass = component::MakeGuid("{11111111-2222-3333-4444-555555555555}");

Result LibraryClassObject(const Guid& clsid, const Guid& iid, void** out) {
    return Export<component::GetClassObjectFn>("DllGetClassObject")(&clsid, &iid, out);
}

Result CanUnloadNow() {
    return Export<component::CanUnloadNowFn>("DllCanUnloadNow")();
}

Ref<component::ClassFactory> Factory(const Guid& clsid) {
    Ref<component::ClassFactory> factory;
    EXPECT_EQ(LibraryClassObject(clsid, component::kIidClassFactory, factory.Out()), kOk);
    return factory;
}

TEST(LumeqServerTest, ClassObjectOfAnotherClassIsNotAvailable) {
    for (const Guid& clsid : {kUnknownClass, lumeq::kLibidLumeqLib, lumeq::kIidDLumeq}) {
        void* out = &out;  // anything but null
        EXPECT_EQ(LibraryClassObject(clsid, component::kIidClassFactory, &out),
                  component::kClassNotAvailable)
            << clsid.ToString();
        EXPECT_EQ(out, nullptr) << clsid.ToString();
    }
}

TEST(LumeqServerTest, ClassObjectsCreateTheirClassesAndRefuseAggregation) {
    const struct {
        Guid clsid;
        Guid iid;
    } cases[] = {
        {lumeq::kClsidLumeqCtrl, component::kIidDispatch},
        {lumeq::kClsidLumeqCtrl, lumeq::kIidDLumeq},
        {lumeq::kClsidLumeqPropPage, lumeq::kIidPropertyPage},
    };
    for (const auto& c : cases) {
        void* out = &out;
        EXPECT_EQ(LibraryClassObject(c.clsid, c.iid, &out), component::kNoInterface)
            << "a class object is no instance";
        EXPECT_EQ(out, nullptr);

        Ref<component::ClassFactory> factory = Factory(c.clsid);
        ASSERT_TRUE(factory);
        Ref<component::Unknown> object;
        EXPECT_EQ(factory->CreateInstance(nullptr, c.iid, object.Out()), kOk);
        EXPECT_TRUE(object);

        out = &out;
        EXPECT_EQ(factory->CreateInstance(factory.Get(), c.iid, &out), component::kNoAggregation);
        EXPECT_EQ(out, nullptr);
        out = &out;
        EXPECT_EQ(factory->CreateInstance(nullptr, kUnknownClass, &out), component::kNoInterface);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(LumeqServerTest, LibraryCanUnloadOnlyWithoutLiveObjectsOrLocks) {
    ASSERT_EQ(CanUnloadNow(), kOk) << "an earlier test left an object alive";

    Ref<component::ClassFactory> factory = Factory(lumeq::kClsidLumeqCtrl);
    ASSERT_TRUE(factory);
    EXPECT_EQ(CanUnloadNow(), kOk) << "holding a class object alone does not keep the library";

    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    EXPECT_EQ(CanUnloadNow(), kFalse);
    Ref<component::Dispatch> second = CreateControl();
    ctrl.Reset();
    EXPECT_EQ(CanUnloadNow(), kFalse) << "one control still lives";
    second.Reset();
    EXPECT_EQ(CanUnloadNow(), kOk);

    Ref<component::Unknown> page;
    ASSERT_EQ(Factory(lumeq::kClsidLumeqPropPage)
                  ->CreateInstance(nullptr, component::kIidUnknown, page.Out()),
              kOk);
    EXPECT_EQ(CanUnloadNow(), kFalse);
    page.Reset();
    EXPECT_EQ(CanUnloadNow(), kOk);

    EXPECT_EQ(factory->LockServer(true), kOk);
    EXPECT_EQ(factory->LockServer(true), kOk);
    EXPECT_EQ(CanUnloadNow(), kFalse);
    EXPECT_EQ(factory->LockServer(false), kOk);
    EXPECT_EQ(CanUnloadNow(), kFalse);
    EXPECT_EQ(factory->LockServer(false), kOk);
    EXPECT_EQ(CanUnloadNow(), kOk);

    // A lock given back twice must not hide a live object.
    Ref<component::Dispatch> live = CreateControl();
    EXPECT_EQ(factory->LockServer(false), component::kUnexpected);
    EXPECT_EQ(CanUnloadNow(), kFalse);
    live.Reset();
    EXPECT_EQ(CanUnloadNow(), kOk);
}

TEST(LumeqServerTest, TypeLibraryMembersAgreeWithTheDispatchTable) {
    const component::TypeLibraryInfo* lib =
        Export<component::GetTypeLibraryFn>("DllGetTypeLibrary")();
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->libid, lumeq::kLibidLumeqLib);
    ASSERT_EQ(lib->interfaces.size(), 2u);
    const component::InterfaceInfo& dispatch = lib->interfaces[0];
    ASSERT_EQ(lib->coclasses.size(), 1u);
    EXPECT_EQ(lib->coclasses[0].clsid, lumeq::kClsidLumeqCtrl);

    // Every member the type library describes is reached by name at its id and takes the
    // arguments described: one of the declared type, the wrong count being refused.
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    ASSERT_EQ(dispatch.members.size(), 14u);
    for (const component::MemberInfo& m : dispatch.members) {
        const std::string name(m.name);
        const char* names[] = {name.c_str()};
        DispId id = 0;
        EXPECT_EQ(ctrl->GetIdsOfNames(names, &id), kOk) << name;
        EXPECT_EQ(id, m.id) << name;
        ASSERT_LE(m.params.size(), 1u) << name;
        if (m.params.size() == 1) {
            EXPECT_EQ(Call(*ctrl.Get(), m.id), component::kBadParamCount) << name;
            const Variant arg =
                m.params[0].type == component::VarType::I2 ? Variant::I2(1) : Variant::I4(1);
            EXPECT_EQ(Call(*ctrl.Get(), m.id, {arg}), kOk) << name;
        } else if (m.id != component::kDispIdAboutBox) {
            EXPECT_EQ(Call(*ctrl.Get(), m.id), kOk) << name;
        }
    }
}

TEST(LumeqServerTest, VersionDataIsReadableFromTheExportAndTheClassObject) {
    const lumeq::VersionInfo* exported = Export<lumeq::GetVersionInfoFn>("DllGetVersionInfo")();
    ASSERT_NE(exported, nullptr);
    Ref<lumeq::VersionSource> source;
    ASSERT_EQ(
        component::GetClassObject(lumeq::kClsidLumeqCtrl, lumeq::kIidVersionSource, source.Out()),
        kOk);
    EXPECT_EQ(source->Version(), exported);

    EXPECT_EQ(std::vector<int>(exported->fileVersion, exported->fileVersion + 4),
              (std::vector<int>{1, 0, 0, 1}));
    EXPECT_STREQ(lumeq::FindVersionString(*exported, "FileVersion"), "1, 0, 0, 1");
    EXPECT_STREQ(lumeq::FindVersionString(*exported, "OriginalFilename"), "Lumeq.OCX");
    EXPECT_STREQ(lumeq::FindVersionString(*exported, "OLESelfRegister"), "")
        << "present and empty: the library registers itself";
}

}  // namespace
}  // namespace lumeq_test
