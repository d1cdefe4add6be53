#include "tests/support/Application.h"

#include <errno.h>

namespace testing_support {

QCoreApplication& App() {
    if (QCoreApplication* existing = QCoreApplication::instance())
        return *existing;
    static int argc = 1;
    static char* argv[] = {program_invocation_short_name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

}  // namespace testing_support
