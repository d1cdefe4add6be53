#pragma once

#include "display/CControlModule.h"

namespace lumeq {

// The library's one module object. It has no state of its own and adds no work to its base.
class CLumeqModule : public CControlModule {
  public:
    bool InitInstance() override;
    int ExitInstance() override;
};

}  // namespace lumeq
