// A system that refuses the engine its watch thread.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "CSerialLink.h"
#include "ChildProcess.h"
#include "PortsFixture.h"
#include "serial/PseudoTerminal.h"

namespace faulttest {
namespace {

TEST(ThreadLimit, AWatchThreadThatCannotStartIsReportedAndNotWatched) {
    // A plain pseudo-terminal: no thread of this test runs while the child is forked off.
    auto device = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(device);
    apptest::PortDirectory ports;
    ports.Map(1, device->DevicePath());
    // A user limited to the processes it runs has no thread to spare; root is never limited,
    // so root runs the child as nobody, who must reach the device.
    const bool asNobody = ::geteuid() == 0;
    if (asNobody) {
        ASSERT_EQ(::chmod(ports.Path().toStdString().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(device->DevicePath().c_str(), 0666), 0);
    }
    const ChildOutcome outcome = RunInChild(
        [](std::string& report) {
            const rlimit none{0, 0};
            if (::setrlimit(RLIMIT_NPROC, &none) != 0)
                return 2;
            CSerialLink link;
            int boxes = 0;
            link.SetFailureReporter([&](const std::string& caption, const std::string& text) {
                ++boxes;
                report += caption + "|" + text;
            });
            if (link.Open(nullptr, 1, 9600, 'N', 8, 1, 3, 512) != 1)
                return 3;
            const int started = link.StartWatch();
            link.Close();
            return started == 0 && boxes == 1 && !link.IsWatching() ? 0 : 4;
        },
        asNobody);
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.report;
    EXPECT_EQ(outcome.report,
              "Application Error|WARNING:  AfxBeginThread() Failed with the following error: "
              "\nResource temporarily unavailable\nPort: 1\n");
}

}  // namespace
}  // namespace faulttest
