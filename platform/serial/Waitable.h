#pragma once

namespace serial_port {

// Something a thread can wait on together with other things (see WaitForAny).
class Waitable {
  public:
    virtual ~Waitable() = default;
    // Descriptor that becomes readable when the object is signalled; -1 when there is none.
    virtual int WaitDescriptor() const = 0;
    // False when only hang-ups and errors count, not readable data.
    virtual bool WaitsForInput() const { return true; }
};

}  // namespace serial_port
