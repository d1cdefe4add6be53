#pragma once

#include "display/CLumeqFactory.h"

namespace lumeq {

// Class object of the control's property page, ProgID "Lumeq.LumeqPropPage.1" (the ProgID is
// not registered: pages are found by class identifier only).
class CLumeqPropPageFactory final : public CLumeqFactory {
  public:
    CLumeqPropPageFactory();

    component::Result UpdateRegistry(bool bRegister) override;

  protected:
    component::Result CreateObject(const component::Guid& iid, void** out) override;
};

}  // namespace lumeq
