#include "CModuleState.h"

namespace lumeq {

namespace {
thread_local CModuleState* t_pCurrent = nullptr;
}

CModuleState* AfxGetModuleState() {
    return t_pCurrent;
}

CModuleStateScope::CModuleStateScope(CModuleState* state) : m_pPrevious(t_pCurrent) {
    t_pCurrent = state;
}

CModuleStateScope::~CModuleStateScope() {
    t_pCurrent = m_pPrevious;
}

}  // namespace lumeq
