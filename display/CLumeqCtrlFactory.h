#pragma once

#include "display/CLumeqFactory.h"

namespace lumeq {

// Class object of the display control, ProgID "Lumeq.LumeqCtrl.1".
class CLumeqCtrlFactory final : public CLumeqFactory {
  public:
    CLumeqCtrlFactory();

    component::Result UpdateRegistry(bool bRegister) override;

  protected:
    component::Result CreateObject(const component::Guid& iid, void** out) override;
};

}  // namespace lumeq
