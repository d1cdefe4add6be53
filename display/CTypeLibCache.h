#pragma once

#include <atomic>
#include <cstdint>

#include "platform/component/Guid.h"
#include "platform/component/Result.h"

namespace component {
struct TypeLibraryInfo;
}

namespace lumeq {

// The library's entry for one registered type library: loaded through the registration store
// on the first request that succeeds, then kept for the life of the library. A failed load is
// not kept, so registering later makes the next request succeed.
class CTypeLibCache {
  public:
    constexpr CTypeLibCache(const component::Guid& libid, std::uint16_t major, std::uint16_t minor)
        : m_libid(libid), m_major(major), m_minor(minor) {}

    // UI thread.
    component::Result Lookup(const component::TypeLibraryInfo** out);

  private:
    component::Guid m_libid;
    std::uint16_t m_major;
    std::uint16_t m_minor;
    std::atomic<const component::TypeLibraryInfo*> m_loaded{nullptr};
};

// The cache entry of LumeqLib 1.0.
CTypeLibCache& LumeqTypeLibCache();

}  // namespace lumeq
