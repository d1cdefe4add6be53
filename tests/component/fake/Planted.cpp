// A library that leaves a mark when it is loaded: its constructor creates the file named by
// KARVEL_TEST_MARKER. Tests plant it where it must be refused and check that no mark appears.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

[[gnu::constructor]] void LeaveMark() {
    if (const char* marker = std::getenv("KARVEL_TEST_MARKER")) {
        const int fd = ::open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
}

}  // namespace

extern "C" [[gnu::visibility("default")]] long DllGetClassObject(const void*, const void*,
                                                                 void** out) {
    *out = nullptr;
    return static_cast<long>(0x80040111);  // class not available
}
