#pragma once

namespace lumeq {

// Base of a control library's module object: start and stop of the library in a process.
class CControlModule {
  public:
    virtual ~CControlModule() = default;

    // Runs when a process loads the library; false makes the library refuse every request.
    virtual bool InitInstance() { return true; }
    // Runs when the process unloads the library (and after a failed InitInstance).
    virtual int ExitInstance() { return 0; }
};

}  // namespace lumeq
