// The library's entry points: the only symbols it exports. Each makes the library's module
// state current on the calling thread for the length of the call.
//
// Thread: every export is [thread-safe]. The objects a class object creates are not: the control
// and its property page are [main-thread], used only on the thread that runs the host's widget
// application, which is the thread that must create them.

#include <type_traits>

#include "display/CModuleState.h"
#include "display/LumeqServer.h"
#include "display/res/LumeqTypeLib.h"
#include "display/res/LumeqVersion.h"
#include "platform/component/ErrorText.h"
#include "platform/component/Interfaces.h"
#include "platform/component/TypeLibrary.h"

#define LUMEQ_EXPORT extern "C" __attribute__((visibility("default")))

using component::Guid;
using component::Result;

// [thread-safe] The class objects live as long as the library; asking only takes a reference.
LUMEQ_EXPORT Result DllGetClassObject(const Guid* clsid, const Guid* iid, void** out) {
    lumeq::CModuleStateScope scope(lumeq::LumeqModuleState());
    if (out == nullptr)
        return component::kNullPointer;
    *out = nullptr;
    if (clsid == nullptr || iid == nullptr)
        return component::kInvalidArgument;
    if (!lumeq::LumeqModuleStarted())
        return component::kUnexpected;
    return lumeq::LumeqGetClassObject(*clsid, *iid, out);
}

// [thread-safe] The answer holds only while no other thread of the host creates objects or takes
// locks; a host unloads from the thread that does both.
LUMEQ_EXPORT Result DllCanUnloadNow() {
    lumeq::CModuleStateScope scope(lumeq::LumeqModuleState());
    return lumeq::LumeqCanUnloadNow();
}

// [thread-safe] Each store update is atomic, also against other processes.
LUMEQ_EXPORT Result DllRegisterServer() {
    lumeq::CModuleStateScope scope(lumeq::LumeqModuleState());
    if (!lumeq::LumeqModuleStarted())
        return component::kUnexpected;
    return lumeq::LumeqRegisterServer();
}

// [thread-safe] As DllRegisterServer.
LUMEQ_EXPORT Result DllUnregisterServer() {
    lumeq::CModuleStateScope scope(lumeq::LumeqModuleState());
    if (!lumeq::LumeqModuleStarted())
        return component::kUnexpected;
    return lumeq::LumeqUnregisterServer();
}

// [thread-safe] Constant data that lives as long as the library.
LUMEQ_EXPORT const component::TypeLibraryInfo* DllGetTypeLibrary() {
    lumeq::CModuleStateScope scope(lumeq::LumeqModuleState());
    return &lumeq::LumeqTypeLibrary();
}

// [thread-safe] The reason of the last failed registration step on this thread.
LUMEQ_EXPORT const char* DllGetErrorText() {
    return component::ErrorText().c_str();
}

// [thread-safe] Constant data that lives as long as the library.
LUMEQ_EXPORT const lumeq::VersionInfo* DllGetVersionInfo() {
    lumeq::CModuleStateScope scope(lumeq::LumeqModuleState());
    return &lumeq::LumeqVersionInfo();
}

// The loader calls these through its own function types; a mismatch would be a silent ABI bug.
static_assert(std::is_same_v<decltype(&DllGetClassObject), component::GetClassObjectFn>);
static_assert(std::is_same_v<decltype(&DllCanUnloadNow), component::CanUnloadNowFn>);
static_assert(std::is_same_v<decltype(&DllGetErrorText), component::GetErrorTextFn>);
static_assert(std::is_same_v<decltype(&DllRegisterServer), component::RegisterServerFn>);
static_assert(std::is_same_v<decltype(&DllUnregisterServer), component::RegisterServerFn>);
static_assert(std::is_same_v<decltype(&DllGetTypeLibrary), component::GetTypeLibraryFn>);
static_assert(std::is_same_v<decltype(&DllGetVersionInfo), lumeq::GetVersionInfoFn>);
