#include "display/CLumeqModule.h"

namespace lumeq {

bool CLumeqModule::InitInstance() {
    return CControlModule::InitInstance();
}

int CLumeqModule::ExitInstance() {
    return CControlModule::ExitInstance();
}

}  // namespace lumeq
