#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "display/LumeqIds.h"
#include "platform/component/Activation.h"
#include "platform/component/Identity.h"
#include "platform/component/StoreFile.h"
#include "platform/component/TypeLibrary.h"
#include "tests/display/LumeqHost.h"

namespace lumeq_test {
namespace {

using component::kOk;
using component::RegistrationStore;

constexpr Result kTypeLibFailed = static_cast<Result>(0x80040200);
constexpr Result kClassFailed = static_cast<Result>(0x80040201);

// Each test gets an empty store of its own; the fault switch is off unless a test turns it on.
class LumeqRegistrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_storePath = m_dir.filePath("components.store").toStdString();
        qputenv("KARVEL_COMPONENT_STORE", QByteArray::fromStdString(m_storePath));
        qunsetenv("KARVEL_REGISTRATION_FAULT");
    }
    void TearDown() override { qunsetenv("KARVEL_REGISTRATION_FAULT"); }

    static Result Register() { return Export<component::RegisterServerFn>("DllRegisterServer")(); }
    static Result Unregister() {
        return Export<component::RegisterServerFn>("DllUnregisterServer")();
    }
    static void Fault(const char* step) { qputenv("KARVEL_REGISTRATION_FAULT", step); }

    RegistrationStore Store() {
        RegistrationStore store;
        std::string error;
        EXPECT_EQ(component::StoreFile::Load(m_storePath, &store, &error), kOk) << error;
        return store;
    }

    static std::string LibraryPath() {
        return QFileInfo(QStringLiteral(LUMEQ_LIBRARY)).canonicalFilePath().toStdString();
    }

    QTemporaryDir m_dir;
    std::string m_storePath;
};

TEST_F(LumeqRegistrationTest, RegisteringWritesBothClassesAndTheTypeLibrary) {
    ASSERT_EQ(Register(), kOk);
    const RegistrationStore store = Store();

    const component::StoredClass* ctrl = store.FindClass(lumeq::kClsidLumeqCtrl);
    ASSERT_NE(ctrl, nullptr);
    EXPECT_EQ(ctrl->library, LibraryPath());
    EXPECT_EQ(ctrl->userTypeName, "Lumeq Control");
    EXPECT_EQ(ctrl->progId, "Lumeq.LumeqCtrl.1");
    EXPECT_EQ(ctrl->threading, "Apartment");
    EXPECT_TRUE(ctrl->control);
    EXPECT_FALSE(ctrl->insertable);
    EXPECT_EQ(ctrl->toolboxBitmap, 1);
    EXPECT_EQ(ctrl->miscStatus, 0x00020191u);
    ASSERT_TRUE(ctrl->typeLibrary.has_value());
    EXPECT_EQ(ctrl->typeLibrary->libid, lumeq::kLibidLumeqLib);
    EXPECT_EQ(ctrl->typeLibrary->major, 1);
    EXPECT_EQ(ctrl->typeLibrary->minor, 0);

    const component::StoredClass* page = store.FindClass(lumeq::kClsidLumeqPropPage);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->userTypeName, "Lumeq Property Page");
    EXPECT_EQ(page->progId, "");
    EXPECT_FALSE(page->control);

    const component::StoredTypeLibrary* lib = store.FindTypeLibrary(lumeq::kLibidLumeqLib, 1, 0);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->lcid, 0u);
    EXPECT_EQ(lib->library, LibraryPath());
}

TEST_F(LumeqRegistrationTest, RegisteredControlIsCreatedByProgIdAndItsTypeLibraryLoads) {
    ASSERT_EQ(Register(), kOk);
    component::Guid clsid;
    ASSERT_EQ(component::ClassIdFromProgId("Lumeq.LumeqCtrl.1", &clsid), kOk);
    EXPECT_EQ(clsid, lumeq::kClsidLumeqCtrl);
    Ref<component::Dispatch> ctrl;
    ASSERT_EQ(component::CreateInstance(clsid, component::kIidDispatch, ctrl.Out()), kOk)
        << component::LastActivationError();
    EXPECT_EQ(Call(*ctrl.Get(), 1, {Variant::I2(3)}), kOk);

    const component::TypeLibraryInfo* info = nullptr;
    ASSERT_EQ(component::LoadRegisteredTypeLibrary(lumeq::kLibidLumeqLib, 1, 0, &info), kOk)
        << component::LastActivationError();
    EXPECT_EQ(info->name, "LumeqLib");
}

TEST_F(LumeqRegistrationTest, UnregisteringRemovesEverythingItWrote) {
    ASSERT_EQ(Register(), kOk);
    ASSERT_EQ(Unregister(), kOk);
    EXPECT_TRUE(Store().IsEmpty()) << Store().Format();
    EXPECT_EQ(Unregister(), kOk) << "removing what is not there succeeds";
}

TEST_F(LumeqRegistrationTest, FailedTypeLibraryStepStopsBeforeTheClasses) {
    Fault("typelib");
    EXPECT_EQ(Register(), kTypeLibFailed);
    EXPECT_TRUE(Store().IsEmpty()) << Store().Format();

    // With everything registered, a failing type library step leaves the classes as they were
    // in either direction.
    qunsetenv("KARVEL_REGISTRATION_FAULT");
    ASSERT_EQ(Register(), kOk);
    const RegistrationStore registered = Store();
    Fault("typelib");
    EXPECT_EQ(Register(), kTypeLibFailed);
    EXPECT_EQ(Store(), registered);
    EXPECT_EQ(Unregister(), kTypeLibFailed);
    EXPECT_EQ(Store(), registered);
}

TEST_F(LumeqRegistrationTest, FailedClassStepKeepsTheTypeLibraryStep) {
    Fault("class");
    EXPECT_EQ(Register(), kClassFailed);
    RegistrationStore store = Store();
    EXPECT_NE(store.FindTypeLibrary(lumeq::kLibidLumeqLib, 1, 0), nullptr)
        << "the type library step is not undone";
    EXPECT_TRUE(store.Classes().empty());

    qunsetenv("KARVEL_REGISTRATION_FAULT");
    ASSERT_EQ(Register(), kOk);
    Fault("class");
    EXPECT_EQ(Unregister(), kClassFailed);
    store = Store();
    EXPECT_EQ(store.FindTypeLibrary(lumeq::kLibidLumeqLib, 1, 0), nullptr)
        << "the type library went first";
    EXPECT_NE(store.FindClass(lumeq::kClsidLumeqCtrl), nullptr);
    EXPECT_NE(store.FindClass(lumeq::kClsidLumeqPropPage), nullptr);
}

// What a host learns from the objects themselves, asked through their identity interfaces.
TEST_F(LumeqRegistrationTest, ObjectsTellTheirIdentity) {
    const auto create = [](const component::Guid& clsid) {
        Ref<component::ClassFactory> factory;
        EXPECT_EQ(Export<component::GetClassObjectFn>("DllGetClassObject")(
                      &clsid, &component::kIidClassFactory, factory.Out()),
                  kOk);
        Ref<component::ObjectIdentity> object;
        if (factory) {
            EXPECT_EQ(factory->CreateInstance(nullptr, component::kIidObjectIdentity, object.Out()),
                      kOk);
        }
        return object;
    };
    Ref<component::ObjectIdentity> page = create(lumeq::kClsidLumeqPropPage);
    Ref<component::ObjectIdentity> object = create(lumeq::kClsidLumeqCtrl);
    ASSERT_TRUE(page && object);
    component::Guid clsid;
    ASSERT_EQ(page->GetClassId(&clsid), kOk);
    EXPECT_EQ(clsid, lumeq::kClsidLumeqPropPage);
    EXPECT_STREQ(page->RuntimeClassName(), "CLumeqPropPage");
    EXPECT_FALSE(page.Query<component::ControlIdentity>(component::kIidControlIdentity))
        << "a page is no control";

    Ref<component::ControlIdentity> ctrl =
        object.Query<component::ControlIdentity>(component::kIidControlIdentity);
    ASSERT_TRUE(ctrl);
    ASSERT_EQ(ctrl->GetClassId(&clsid), kOk);
    EXPECT_EQ(clsid, lumeq::kClsidLumeqCtrl);
    EXPECT_STREQ(ctrl->RuntimeClassName(), "CLumeqCtrl");
    std::string_view name;
    ASSERT_EQ(ctrl->GetUserTypeName(&name), kOk);
    EXPECT_EQ(name, "Lumeq Control");
    std::uint32_t value = 0;
    ASSERT_EQ(ctrl->GetMiscStatus(&value), kOk);
    EXPECT_EQ(value, 0x00020191u);
    ASSERT_EQ(ctrl->GetTypeInfoCount(&value), kOk);
    EXPECT_EQ(value, 1u);
    std::span<const component::Guid> pages;
    std::span<const component::Guid> again;
    ASSERT_EQ(ctrl->GetPropertyPages(&pages), kOk);
    ASSERT_EQ(ctrl->GetPropertyPages(&again), kOk);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0], lumeq::kClsidLumeqPropPage);
    EXPECT_EQ(again.data(), pages.data()) << "the list is built once and kept";
    EXPECT_EQ(ctrl->GetClassId(nullptr), component::kNullPointer);

    // The type library comes from the registration store; once found it is kept.
    const component::TypeLibraryInfo* library = nullptr;
    EXPECT_EQ(ctrl->GetTypeLibrary(0, &library), component::kLibraryNotRegistered);
    ASSERT_EQ(Register(), kOk);
    ASSERT_EQ(ctrl->GetTypeLibrary(0x0409, &library), kOk) << component::LastActivationError();
    EXPECT_EQ(library->name, "LumeqLib");
    EXPECT_EQ(library->libid, lumeq::kLibidLumeqLib);
    EXPECT_EQ(library->major, 1);
    EXPECT_EQ(library->minor, 0);
    ASSERT_EQ(Unregister(), kOk);
    const component::TypeLibraryInfo* kept = nullptr;
    EXPECT_EQ(ctrl->GetTypeLibrary(0, &kept), kOk);
    EXPECT_EQ(kept, library);
}

}  // namespace
}  // namespace lumeq_test
