#include "display/CTypeLibCache.h"

#include "display/LumeqIds.h"
#include "platform/component/TypeLibrary.h"

namespace lumeq {

component::Result CTypeLibCache::Lookup(const component::TypeLibraryInfo** out) {
    if (out == nullptr)
        return component::kNullPointer;
    if (const component::TypeLibraryInfo* kept = m_loaded.load(std::memory_order_acquire)) {
        *out = kept;
        return component::kOk;
    }
    const component::Result r =
        component::LoadRegisteredTypeLibrary(m_libid, m_major, m_minor, out);
    if (component::Succeeded(r))
        m_loaded.store(*out, std::memory_order_release);
    return r;
}

CTypeLibCache& LumeqTypeLibCache() {
    static CTypeLibCache cache(kLibidLumeqLib, kLumeqLibMajor, kLumeqLibMinor);
    return cache;
}

}  // namespace lumeq
