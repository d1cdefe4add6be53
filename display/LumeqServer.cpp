#include "display/LumeqServer.h"

#include <atomic>

#include "display/CLumeqCtrlFactory.h"
#include "display/CLumeqModule.h"
#include "display/CLumeqPropPageFactory.h"
#include "display/CModuleState.h"
#include "display/LumeqIds.h"
#include "platform/component/Registration.h"

namespace lumeq {

namespace {

using component::Result;

// Constructed in this order when the library loads, destroyed in reverse when it unloads.
CModuleState g_lumeqModuleState = {"Lumeq", ":/lumeq"};
CLumeqModule g_lumeqModule;
component::ModuleCounter g_objectCounter;
std::atomic<long> g_serverLocks{0};
component::Ref<CLumeqFactory> g_ctrlFactory =
    component::Ref<CLumeqFactory>::Adopt(new CLumeqCtrlFactory);
component::Ref<CLumeqFactory> g_pageFactory =
    component::Ref<CLumeqFactory>::Adopt(new CLumeqPropPageFactory);

// Starts the module object once everything above exists and stops it before any of it goes.
class CLibraryEntry {
  public:
    CLibraryEntry() {
        CModuleStateScope scope(&g_lumeqModuleState);
        m_bStarted = g_lumeqModule.InitInstance();
        if (!m_bStarted)
            g_lumeqModule.ExitInstance();
    }
    ~CLibraryEntry() {
        CModuleStateScope scope(&g_lumeqModuleState);
        if (m_bStarted)
            g_lumeqModule.ExitInstance();
    }
    CLibraryEntry(const CLibraryEntry&) = delete;
    CLibraryEntry& operator=(const CLibraryEntry&) = delete;

    bool Started() const { return m_bStarted; }

  private:
    bool m_bStarted = false;
};
CLibraryEntry g_libraryEntry;

CLumeqFactory* const g_factories[] = {g_ctrlFactory.Get(), g_pageFactory.Get()};

// Stops at the first factory that fails, as a partly written store says more than a retry.
Result UpdateRegistryAll(bool bRegister) {
    for (CLumeqFactory* factory : g_factories) {
        const Result r = factory->UpdateRegistry(bRegister);
        if (component::Failed(r))
            return r;
    }
    return component::kOk;
}

}  // namespace

CModuleState* LumeqModuleState() {
    return &g_lumeqModuleState;
}

component::ModuleCounter* LumeqObjectCounter() {
    return &g_objectCounter;
}

Result LumeqLockServer(bool lock) {
    if (lock) {
        g_serverLocks.fetch_add(1, std::memory_order_relaxed);
        g_objectCounter.Increment();
        return component::kOk;
    }
    long held = g_serverLocks.load(std::memory_order_relaxed);
    do {
        if (held <= 0)
            return component::kUnexpected;
    } while (!g_serverLocks.compare_exchange_weak(held, held - 1, std::memory_order_relaxed));
    g_objectCounter.Decrement();
    return component::kOk;
}

std::string LumeqLibraryPath() {
    return component::ModulePathOf(&g_lumeqModuleState);
}

Result LumeqGetClassObject(const component::Guid& clsid, const component::Guid& iid, void** out) {
    if (out == nullptr)
        return component::kNullPointer;
    *out = nullptr;
    for (CLumeqFactory* factory : g_factories) {
        if (factory->ClassId() == clsid)
            return factory->QueryInterface(iid, out);
    }
    return component::kClassNotAvailable;
}

Result LumeqCanUnloadNow() {
    return g_objectCounter.IsIdle() ? component::kOk : component::kFalse;
}

// Each direction is one update of the store: the type library step first, then the classes,
// and what succeeded is written even when the class step fails (nothing is rolled back).
Result LumeqRegisterServer() {
    component::RegistrationBatch batch;
    if (component::Failed(component::RegisterTypeLibrary(
            LumeqLibraryPath(), kLibidLumeqLib, kLumeqLibMajor, kLumeqLibMinor, kLumeqLibLcid)))
        return component::kSelfRegTypeLibrary;
    const bool classes = component::Succeeded(UpdateRegistryAll(true));
    if (component::Failed(batch.Commit()))
        return component::kSelfRegTypeLibrary;  // nothing was written
    return classes ? component::kOk : component::kSelfRegClass;
}

Result LumeqUnregisterServer() {
    component::RegistrationBatch batch;
    if (component::Failed(component::UnregisterTypeLibrary(kLibidLumeqLib, kLumeqLibMajor,
                                                           kLumeqLibMinor, kLumeqLibLcid)))
        return component::kSelfRegTypeLibrary;
    const bool classes = component::Succeeded(UpdateRegistryAll(false));
    if (component::Failed(batch.Commit()))
        return component::kSelfRegTypeLibrary;
    return classes ? component::kOk : component::kSelfRegClass;
}

bool LumeqModuleStarted() {
    return g_libraryEntry.Started();
}

}  // namespace lumeq
