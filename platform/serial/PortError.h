#pragma once

// Why a port operation failed: a kind that callers can act on, the system's error number and its
// text. Every system error of this layer goes through PortError::FromErrno.

#include <string>

namespace serial_port {

enum class ErrorKind {
    kNone,
    kNotFound,          // no such port or device
    kPermissionDenied,  // the device exists but this user may not open it
    kBusy,              // another program (or another port object) holds the device
    kDeviceGone,        // the device went away while open (unplugged, peer hung up)
    kNotSerial,         // the path is not a terminal device
    kInvalidArgument,   // a setting the device or this layer refuses
    kTimedOut,          // an operation did not finish within its time-out
    kNoResources,       // out of descriptors or memory
    kOther,
};

struct PortError {
    ErrorKind kind = ErrorKind::kNone;
    int code = 0;        // errno value, 0 when none
    std::string text;    // the system's text for `code`
    std::string detail;  // more about this case (e.g. the group that may open the device)

    // The one mapping from errno to a kind; `text` is the system's text.
    static PortError FromErrno(int errnoValue);

    bool Failed() const { return kind != ErrorKind::kNone; }
    // The system text, followed by the detail when there is one.
    std::string Describe() const;
};

}  // namespace serial_port
