#pragma once

// Why a port operation failed: a kind that callers can act on, the system's error number, its
// text and a detail. Every system error of this layer goes through PortError::FromErrno.

#include "platform/posix/SystemError.h"

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

// code, text and detail as every layer's error (platform/posix/SystemError.h).
struct PortError : posix::SystemError {
    ErrorKind kind = ErrorKind::kNone;

    // The one mapping from errno to a kind; `text` is the system's text.
    static PortError FromErrno(int errnoValue);

    bool Failed() const { return kind != ErrorKind::kNone; }
};

}  // namespace serial_port
