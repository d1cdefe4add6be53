#include "CModuleState.h"

namespace lumeq {

namespace {
// Initial-exec: the library is loaded after start-up, and a pointer fits in the static TLS that
// the loader keeps for such libraries; every export touches it, so it should cost no lookup.
__attribute__((tls_model("initial-exec"))) thread_local CModuleState* t_pCurrent = nullptr;
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
