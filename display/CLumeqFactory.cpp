#include "display/CLumeqFactory.h"

#include "display/CModuleState.h"
#include "display/LumeqServer.h"

namespace lumeq {

using component::Result;

Result CLumeqFactory::QueryInterface(const component::Guid& iid, void** out) {
    if (out == nullptr)
        return component::kNullPointer;
    if (iid == component::kIidUnknown || iid == component::kIidClassFactory) {
        *out = static_cast<component::ClassFactory*>(this);
    } else if (iid == kIidVersionSource) {
        *out = static_cast<VersionSource*>(this);
    } else {
        *out = nullptr;
        return component::kNoInterface;
    }
    AddRef();
    return component::kOk;
}

std::uint32_t CLumeqFactory::AddRef() {
    return AddRefImpl();
}

std::uint32_t CLumeqFactory::Release() {
    return ReleaseImpl();
}

Result CLumeqFactory::CreateInstance(component::Unknown* outer, const component::Guid& iid,
                                     void** out) {
    CModuleStateScope scope(LumeqModuleState());
    if (out == nullptr)
        return component::kNullPointer;
    *out = nullptr;
    if (outer != nullptr)
        return component::kNoAggregation;
    return CreateObject(iid, out);
}

Result CLumeqFactory::LockServer(bool lock) {
    return LumeqLockServer(lock);
}

const VersionInfo* CLumeqFactory::Version() {
    return &LumeqVersionInfo();
}

}  // namespace lumeq
