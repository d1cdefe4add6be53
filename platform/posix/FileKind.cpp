#include "platform/posix/FileKind.h"

#include <sys/stat.h>

namespace posix {

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISLNK(mode))
        return "a symbolic link";
    return "not a regular file";
}

}  // namespace posix
