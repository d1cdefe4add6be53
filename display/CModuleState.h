#pragma once

// The state a library makes current while the host calls into it, so that code running on the
// host's thread finds this library's resources and objects rather than the caller's.

namespace lumeq {

struct CModuleState {
    const char* m_pszName;          // the library's name, for diagnostics
    const char* m_pszResourceRoot;  // where its images live in the resource system
};

// The state current on this thread, or null outside every call into a library that uses one.
CModuleState* AfxGetModuleState();

// Makes `state` current for the life of the scope and restores the caller's on every way out.
class CModuleStateScope {
  public:
    explicit CModuleStateScope(CModuleState* state);
    ~CModuleStateScope();
    CModuleStateScope(const CModuleStateScope&) = delete;
    CModuleStateScope& operator=(const CModuleStateScope&) = delete;

  private:
    CModuleState* m_pPrevious;
};

}  // namespace lumeq
