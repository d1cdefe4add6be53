// A system that refuses the engine what it asks for: its watch thread, memory for its buffer.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/serial/PseudoTerminal.h"
#include "serial/CSerialLink.h"
#include "tests/app/PortsFixture.h"
#include "tests/support/ChildProcess.h"

namespace faulttest {
namespace {

using testing_support::ChildOutcome;
using testing_support::RunInChild;

TEST(ThreadLimit, AWatchThreadThatCannotStartIsReportedAndNotWatched) {
    // A plain pseudo-terminal: no thread of this test runs while the child is forked off.
    auto device = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(device);
    testing_support::PortDirectory ports;
    ports.Map(1, device->DevicePath());
    // A user limited to the processes it runs has no thread to spare; root is never limited,
    // so root runs the child as nobody, who must reach the device.
    const bool asNobody = ::geteuid() == 0;
    if (asNobody) {
        ASSERT_EQ(::chmod(ports.Path().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(device->DevicePath().c_str(), 0666), 0);
    }
    const ChildOutcome outcome = RunInChild(
        [&ports](std::string& report) {
            const rlimit none{0, 0};
            if (::setrlimit(RLIMIT_NPROC, &none) != 0)
                return 2;
            CSerialLink link;
            link.SetPortResolver(ports.Resolver());
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

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KARVEL_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KARVEL_SANITIZED 1
#endif

TEST(MemoryLimit, ASendBufferThatCannotBeHadIsAnOpenThatFails) {
#ifdef KARVEL_SANITIZED
    GTEST_SKIP() << "sanitizers reserve address space beyond any limit";
#endif
    auto device = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(device);
    testing_support::PortDirectory ports;
    ports.Map(1, device->DevicePath());
    const ChildOutcome outcome = RunInChild(
        [&ports](std::string& report) {
            std::size_t pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlim_t room = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (64 << 20);
            const rlimit limit{room, room};
            if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
                return 2;
            CSerialLink link;
            link.SetPortResolver(ports.Resolver());
            link.SetFailureReporter(
                [&](const std::string&, const std::string& text) { report += text; });
            if (link.Open(nullptr, 1, 9600, 'N', 8, 1, 3, 1u << 30) != 0 || link.IsPortHeld())
                return 3;
            report += link.OpenError().Describe();
            if (link.OpenError().kind != serial_port::ErrorKind::kNoResources)
                return 4;
            return link.Open(nullptr, 1, 9600, 'N', 8, 1, 3, 512) == 1 ? 0 : 5;
        },
        false);
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.report;
    EXPECT_EQ(outcome.report,
              "Cannot allocate memory (no memory for a send buffer of 1073741824 bytes)");
}

}  // namespace
}  // namespace faulttest
