// A minimal component library: one creatable class with Unknown and Dispatch, a property page
// class that is only registered, a type library, and self-registration through the host's
// registration functions. Built twice, with FAKE_COMPONENT_B selecting the second identity.

#include <array>

#include "platform/component/DispatchTable.h"
#include "platform/component/ErrorText.h"
#include "platform/component/Ref.h"
#include "platform/component/Registration.h"
#include "platform/component/TypeLibrary.h"
#include "tests/component/fake/FakeIds.h"

using namespace component;

namespace {

#ifdef FAKE_COMPONENT_B
constexpr const fake::Ids& kIds = fake::kB;
constexpr const char* kLibraryName = "FakeLibB";
#else
constexpr const fake::Ids& kIds = fake::kA;
constexpr const char* kLibraryName = "FakeLibA";
#endif

ModuleCounter g_module;

constexpr std::array<DispatchMember, 1> kMembers{{{fake::kAnswerId, "Answer", {}}}};

class FakeObject final : public Dispatch, public RefCounted {
  public:
    FakeObject() : RefCounted(&g_module) {}

    Result QueryInterface(const Guid& iid, void** out) override {
        if (!out)
            return kNullPointer;
        if (iid == kIidUnknown || iid == kIidDispatch) {
            *out = static_cast<Dispatch*>(this);
            AddRef();
            return kOk;
        }
        *out = nullptr;
        return kNoInterface;
    }
    std::uint32_t AddRef() override { return AddRefImpl(); }
    std::uint32_t Release() override { return ReleaseImpl(); }

    Result GetIdsOfNames(std::span<const char* const> names, DispId* ids) override {
        return Table().GetIdsOfNames(names, ids);
    }
    Result Invoke(DispId id, InvokeKind kind, std::span<const Variant> args, Variant* result,
                  std::uint32_t* argError) override {
        std::vector<Variant> converted;
        if (const Result r = Table().Prepare(id, kind, args, &converted, argError); Failed(r))
            return r;
        if (result)
            *result = Variant::I4(kIds.answer);
        return kOk;
    }

  private:
    static const DispatchTable& Table() {
        static const DispatchTable table(kMembers);
        return table;
    }
};

class FakeFactory final : public ClassFactory, public RefCounted {
  public:
    FakeFactory() : RefCounted(&g_module) {}

    Result QueryInterface(const Guid& iid, void** out) override {
        if (!out)
            return kNullPointer;
        if (iid == kIidUnknown || iid == kIidClassFactory) {
            *out = static_cast<ClassFactory*>(this);
            AddRef();
            return kOk;
        }
        *out = nullptr;
        return kNoInterface;
    }
    std::uint32_t AddRef() override { return AddRefImpl(); }
    std::uint32_t Release() override { return ReleaseImpl(); }

    Result CreateInstance(Unknown* outer, const Guid& iid, void** out) override {
        if (!out)
            return kNullPointer;
        *out = nullptr;
        if (outer)
            return kNoAggregation;
        auto object = Ref<FakeObject>::Adopt(new FakeObject);
        return object->QueryInterface(iid, out);
    }
    Result LockServer(bool lock) override {
        if (lock)
            g_module.Increment();
        else
            g_module.Decrement();
        return kOk;
    }
};

constexpr std::array<MemberInfo, 1> kMemberInfo{{{fake::kAnswerId, "Answer", {}}}};
constexpr std::array<InterfaceInfo, 1> kInterfaces{
    {{"_DFake", kIds.iid, kTypeFlagDispatchable, "Fake interface", kMemberInfo}}};
constexpr std::array<ImplementedInterface, 1> kImplemented{{{kIds.iid, kImplFlagDefault}}};
constexpr std::array<CoclassInfo, 1> kCoclasses{
    {{"Fake", kIds.clsid, kTypeFlagCanCreate, "Fake class", kImplemented}}};
constexpr TypeLibraryInfo kTypeLibrary{
    kLibraryName,    kIds.libid,     1,  0,           0,
    kLibFlagControl, "Fake library", "", kInterfaces, kCoclasses};

std::string OwnPath() {
    static const int anchor = 0;
    return ModulePathOf(&anchor);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) Result DllGetClassObject(const Guid* clsid, const Guid* iid,
                                                                void** out) {
    if (!out)
        return kNullPointer;
    *out = nullptr;
    if (!clsid || !iid)
        return kNullPointer;
    if (*clsid != kIds.clsid)
        return kClassNotAvailable;
    auto factory = Ref<FakeFactory>::Adopt(new FakeFactory);
    return factory->QueryInterface(*iid, out);
}

__attribute__((visibility("default"))) Result DllCanUnloadNow() {
    return g_module.IsIdle() ? kOk : kFalse;
}

__attribute__((visibility("default"))) Result DllRegisterServer() {
    RegistrationBatch batch;
    const std::string path = OwnPath();
    if (Failed(RegisterTypeLibrary(path, kIds.libid, 1, 0, 0)))
        return kSelfRegTypeLibrary;
    ControlClassRegistration reg{path,        kIds.clsid,
                                 kIds.progId, "Fake Control",
                                 1,           kRegApartmentThreading,
                                 0x00020191,  kIds.libid,
                                 1,           0};
    const bool classes =
        Succeeded(RegisterControlClass(reg)) &&
        Succeeded(RegisterPropertyPageClass(path, kIds.pageClsid, "Fake Property Page"));
    if (Failed(batch.Commit()))
        return kSelfRegTypeLibrary;
    return classes ? kOk : kSelfRegClass;
}

__attribute__((visibility("default"))) Result DllUnregisterServer() {
    RegistrationBatch batch;
    if (Failed(UnregisterTypeLibrary(kIds.libid, 1, 0, 0)))
        return kSelfRegTypeLibrary;
    const bool classes = Succeeded(UnregisterClass(kIds.clsid, std::string_view(kIds.progId))) &&
                         Succeeded(UnregisterClass(kIds.pageClsid, std::nullopt));
    if (Failed(batch.Commit()))
        return kSelfRegTypeLibrary;
    return classes ? kOk : kSelfRegClass;
}

__attribute__((visibility("default"))) const char* DllGetErrorText() {
    return ErrorText().c_str();
}

__attribute__((visibility("default"))) const TypeLibraryInfo* DllGetTypeLibrary() {
    return &kTypeLibrary;
}

}  // extern "C"
