#include "platform/serial/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "platform/serial/DriverLineEvents.h"
#include "platform/serial/PseudoTerminal.h"
#include "platform/serial/WaitSet.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using serial_port::ErrorKind;
using serial_port::PortError;
using serial_port::PseudoTerminal;
using serial_port::SerialPort;

constexpr auto kDeadline = 10s;

PseudoTerminal MakePeer() {
    std::string error;
    auto pty = PseudoTerminal::Create(&error);
    EXPECT_TRUE(pty.has_value()) << error;
    return std::move(*pty);
}

SerialPort OpenPort(const PseudoTerminal& peer) {
    PortError error;
    auto port = SerialPort::Open(peer.DevicePath(), &error);
    EXPECT_TRUE(port.has_value()) << error.Describe();
    return std::move(*port);
}

// Whether the device's exclusive flag is set, as any opener sees it.
int ExclusiveFlag(const std::string& path) {
    const posix::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!fd)
        return -1;
    int flag = -1;
    ::ioctl(fd.Get(), TIOCGEXCL, &flag);
    return flag;
}

TEST(PortError, ErrnoKindsTable) {
    const std::pair<int, ErrorKind> cases[] = {
        {0, ErrorKind::kNone},
        {ENOENT, ErrorKind::kNotFound},
        {ENXIO, ErrorKind::kNotFound},
        {EACCES, ErrorKind::kPermissionDenied},
        {EBUSY, ErrorKind::kBusy},
        {EWOULDBLOCK, ErrorKind::kBusy},
        {EIO, ErrorKind::kDeviceGone},
        {ENODEV, ErrorKind::kDeviceGone},
        {ENOTTY, ErrorKind::kNotSerial},
        {EINVAL, ErrorKind::kInvalidArgument},
        {ETIMEDOUT, ErrorKind::kTimedOut},
        {EMFILE, ErrorKind::kNoResources},
        {EISDIR, ErrorKind::kOther},
    };
    for (const auto& [code, kind] : cases) {
        const PortError e = PortError::FromErrno(code);
        EXPECT_EQ(e.kind, kind) << code;
        EXPECT_EQ(e.code, code);
    }
    EXPECT_EQ(PortError::FromErrno(EIO).text, "Input/output error");
}

TEST(SerialPortOpen, FailuresCarryTheirKindAndDetail) {
    struct Case {
        const char* path;
        ErrorKind kind;
    };
    const Case cases[] = {
        {"/dev/karvel-no-such-device", ErrorKind::kNotFound},
        {"/dev/null", ErrorKind::kNotSerial},
        {"/tmp", ErrorKind::kOther},
    };
    for (const Case& c : cases) {
        PortError error;
        EXPECT_FALSE(SerialPort::Open(c.path, &error).has_value()) << c.path;
        EXPECT_EQ(error.kind, c.kind) << c.path;
        EXPECT_FALSE(error.text.empty()) << c.path;
    }
    PortError error;
    SerialPort::Open("/dev/karvel-no-such-device", &error);
    EXPECT_NE(error.Describe().find("/dev/karvel-no-such-device"), std::string::npos);
}

TEST(SerialPortOpen, AHeldDeviceIsBusyAndTheHolderKeepsItsExclusiveFlag) {
    PseudoTerminal peer = MakePeer();
    {
        SerialPort first = OpenPort(peer);
        PortError error;
        EXPECT_FALSE(SerialPort::Open(peer.DevicePath(), &error).has_value());
        EXPECT_EQ(error.kind, ErrorKind::kBusy);
        EXPECT_NE(error.detail.find(peer.DevicePath()), std::string::npos);
        // The refused opener must not have cleared the holder's flag.
        EXPECT_EQ(ExclusiveFlag(peer.DevicePath()), 1);
    }
    // Released and unflagged: the next opener gets it.
    EXPECT_EQ(ExclusiveFlag(peer.DevicePath()), 0);
    PortError error;
    EXPECT_TRUE(SerialPort::Open(peer.DevicePath(), &error).has_value()) << error.Describe();
}

TEST(SerialPortOpen, PermissionDeniedNamesTheDevicesGroup) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    PseudoTerminal peer = MakePeer();
    ASSERT_EQ(::chmod(peer.DevicePath().c_str(), 0660), 0);
    ASSERT_EQ(::chown(peer.DevicePath().c_str(), 0, 5), 0);  // group tty on Debian
    const auto outcome = testing_support::RunAsNobody([&](std::string& report) {
        PortError error;
        const bool opened = SerialPort::Open(peer.DevicePath(), &error).has_value();
        report = error.Describe() + " / " + error.detail;
        const bool named = error.detail.find("group 'tty'") != std::string::npos;
        return !opened && error.kind == ErrorKind::kPermissionDenied && named ? 0 : 1;
    });
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.report;
}

class SerialPortIo : public ::testing::Test {
  protected:
    void SetUp() override {
        m_port.emplace(OpenPort(m_peer));
        serial_port::LineState state;
        ASSERT_FALSE(m_port->ApplyLineState(state).Failed());
    }
    PseudoTerminal m_peer = MakePeer();
    std::optional<SerialPort> m_port;
};

TEST_F(SerialPortIo, LineStateReadsBackWhatWasApplied) {
    serial_port::LineState want;
    want.baud = 115200;
    want.stopBits = serial_port::StopBits::kTwo;
    ASSERT_FALSE(m_port->ApplyLineState(want).Failed());
    serial_port::LineState got;
    ASSERT_FALSE(m_port->ReadLineState(got).Failed());
    EXPECT_EQ(got.baud, 115200u);
    EXPECT_EQ(got.dataBits, 8);
    EXPECT_EQ(got.parity, serial_port::Parity::kNone);
    EXPECT_EQ(got.stopBits, serial_port::StopBits::kTwo);
    // A pseudo-terminal has no modem lines; asking for RTS was not a failure.
    EXPECT_FALSE(got.hasModemLines);
}

TEST_F(SerialPortIo, SettingsTheDeviceDoesNotTakeAreRefused) {
    // A pseudo-terminal forces 8 data bits without parity.
    serial_port::LineState want;
    want.parity = serial_port::Parity::kEven;
    EXPECT_EQ(m_port->ApplyLineState(want).kind, ErrorKind::kInvalidArgument);
    want = {};
    want.dataBits = 7;
    EXPECT_EQ(m_port->ApplyLineState(want).kind, ErrorKind::kInvalidArgument);
    want = {};
    want.baud = 9601;
    EXPECT_EQ(m_port->ApplyLineState(want).kind, ErrorKind::kInvalidArgument);
}

TEST_F(SerialPortIo, EventMaskDecidesWhetherInputWakesAWait) {
    EXPECT_EQ(m_port->SetEventMask(0x2000).kind, ErrorKind::kInvalidArgument);
    EXPECT_EQ(m_port->GetEventMask(), 0u);
    EXPECT_FALSE(m_port->WaitsForInput());
    ASSERT_FALSE(m_port->SetEventMask(serial_port::kEventRxChar).Failed());
    EXPECT_TRUE(m_port->WaitsForInput());
    // A pseudo-terminal counts no line events and has no modem lines to wait for.
    serial_port::DriverLineEvents lines(m_port->WaitDescriptor(), serial_port::kKnownEvents);
    EXPECT_EQ(lines.TakeEvents(serial_port::kKnownEvents), 0u);
    EXPECT_EQ(lines.WaitDescriptor(), -1);
}

TEST_F(SerialPortIo, BytesInBothDirectionsAndPurge) {
    const std::vector<std::uint8_t> in = {0x06, 0xAA, 0x00, 0xFF};
    ASSERT_TRUE(m_peer.Write(in));
    ASSERT_TRUE(m_peer.WaitQueuedAtDevice(kDeadline));
    const serial_port::Waitable* set[] = {&*m_port};
    ASSERT_FALSE(m_port->SetEventMask(serial_port::kEventRxChar).Failed());
    EXPECT_EQ(serial_port::WaitForAny(set, kDeadline).status,
              serial_port::WaitResult::Status::kSignalled);

    std::vector<std::uint8_t> got;
    while (got.size() < in.size()) {
        std::size_t queued = 0;
        ASSERT_FALSE(m_port->QueuedInput(queued).Failed());
        std::uint8_t byte = 0;
        const auto r = m_port->ReadByte(byte);
        ASSERT_FALSE(r.Failed());
        if (r.bytes == 1)
            got.push_back(byte);
    }
    EXPECT_EQ(got, in);

    const std::vector<std::uint8_t> out = {'D', 'M', 0x80 | 'T'};
    const auto w = m_port->Write(out);
    EXPECT_FALSE(w.Failed());
    EXPECT_EQ(w.bytes, out.size());
    EXPECT_EQ(m_peer.ReadExactly(out.size(), kDeadline), out);

    ASSERT_TRUE(m_peer.Write(in));
    ASSERT_TRUE(m_peer.WaitQueuedAtDevice(kDeadline));
    ASSERT_FALSE(m_port->Purge().Failed());
    std::size_t queued = 99;
    ASSERT_FALSE(m_port->QueuedInput(queued).Failed());
    EXPECT_EQ(queued, 0u);
}

TEST_F(SerialPortIo, AWriteNobodyTakesEndsAtItsTimeOut) {
    serial_port::Timeouts t;
    t.writeTotalConstant = 50;
    ASSERT_FALSE(m_port->SetTimeouts(t).Failed());
    // Far more than a pseudo-terminal buffers while the peer reads nothing.
    const std::vector<std::uint8_t> big(1 << 20, 0x55);
    const auto r = m_port->Write(big);
    EXPECT_EQ(r.error.kind, ErrorKind::kTimedOut);
    EXPECT_TRUE(r.failedWhileWaiting);
    EXPECT_LT(r.bytes, big.size());
}

TEST_F(SerialPortIo, AHungUpPeerIsADeviceThatWentAway) {
    m_peer.HangUp();
    const serial_port::Waitable* set[] = {&*m_port};
    // Without input events the wait still sees the hang-up.
    const auto woke = serial_port::WaitForAny(set, kDeadline);
    ASSERT_EQ(woke.status, serial_port::WaitResult::Status::kSignalled);
    EXPECT_TRUE(woke.hungUp);
    std::size_t queued = 0;
    EXPECT_EQ(m_port->QueuedInput(queued).kind, ErrorKind::kDeviceGone);
    const std::uint8_t byte = 1;
    EXPECT_EQ(m_port->Write({&byte, 1}).error.kind, ErrorKind::kDeviceGone);
    EXPECT_EQ(m_port->Purge().kind, ErrorKind::kDeviceGone);
}

}  // namespace
