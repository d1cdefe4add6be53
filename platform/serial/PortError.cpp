#include "platform/serial/PortError.h"

#include <cerrno>

#include "platform/posix/SystemError.h"

namespace serial_port {

PortError PortError::FromErrno(int errnoValue) {
    PortError e;
    e.code = errnoValue;
    switch (errnoValue) {
        case 0:
            e.kind = ErrorKind::kNone;
            return e;
        case ENOENT:
        case ENXIO:
        case ENOTDIR:
        case ELOOP:
            e.kind = ErrorKind::kNotFound;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            e.kind = ErrorKind::kPermissionDenied;
            break;
        case EBUSY:
        case EWOULDBLOCK:
            e.kind = ErrorKind::kBusy;
            break;
        case EIO:
        case ENODEV:
        case EPIPE:
        case EBADF:
            e.kind = ErrorKind::kDeviceGone;
            break;
        case ENOTTY:
            e.kind = ErrorKind::kNotSerial;
            break;
        case EINVAL:
        case EOVERFLOW:
            e.kind = ErrorKind::kInvalidArgument;
            break;
        case ETIMEDOUT:
            e.kind = ErrorKind::kTimedOut;
            break;
        case EMFILE:
        case ENFILE:
        case ENOMEM:
        case ENOSPC:
            e.kind = ErrorKind::kNoResources;
            break;
        default:
            e.kind = ErrorKind::kOther;
            break;
    }
    e.text = posix::ErrnoText(errnoValue);
    return e;
}

}  // namespace serial_port
