#include "display/CModuleState.h"

namespace lumeq {

namespace {
// The default (dynamic) TLS model: a library with static TLS cannot be loaded late into a host
// whose static TLS block is already used up.
thread_local CModuleState* t_pCurrent = nullptr;
}  // namespace

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
