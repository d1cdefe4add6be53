#pragma once

#include "display/res/LumeqVersion.h"
#include "platform/component/Ref.h"

namespace lumeq {

// A class object of this library: creates objects of one class and writes that class into the
// registration store. The library holds one reference to each factory while it is loaded, so a
// factory is no live object of its own; hosts keep the library by LockServer.
class CLumeqFactory : public component::RefCounted,
                      public component::ClassFactory,
                      public VersionSource {
  public:
    explicit CLumeqFactory(const component::Guid& clsid) : m_clsid(clsid) {}

    const component::Guid& ClassId() const { return m_clsid; }

    component::Result QueryInterface(const component::Guid& iid, void** out) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    component::Result CreateInstance(component::Unknown* outer, const component::Guid& iid,
                                     void** out) override;
    component::Result LockServer(bool lock) override;

    const VersionInfo* Version() override;

    // Writes (true) or removes (false) the class in the registration store.
    virtual component::Result UpdateRegistry(bool bRegister) = 0;

  protected:
    // Makes one object and asks it for `iid`; `out` is valid and already null.
    virtual component::Result CreateObject(const component::Guid& iid, void** out) = 0;

  private:
    component::Guid m_clsid;
};

}  // namespace lumeq
