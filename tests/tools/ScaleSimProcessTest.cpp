// Runs karvel-scalesim as a separate process and talks to it the way a port does: through the
// COMn link in a port directory, as a raw tty.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "tests/support/ChildProcess.h"
#include "tools/peers/TestFiles.h"
#include "tools/scalesim/ScaleFrames.h"

namespace scalesim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing_support::MakePipe;
using testing_support::Pipe;
using testing_support::TempDir;

constexpr auto kPatience = std::chrono::seconds(20);

// Milliseconds left until `deadline`, for poll().
int Left(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> args) {
        args.insert(args.begin(), KARVEL_SCALESIM_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::optional<Pipe> out = MakePipe();
        std::optional<Pipe> in = MakePipe();
        if (!out || !in)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out->write.Get(), STDOUT_FILENO);
            ::dup2(in->read.Get(), STDIN_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        m_stdout = std::move(out->read);
        m_stdin = std::move(in->write);
    }
    ~SimProcess() {
        CloseStdin();
        m_stdout.Reset();
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    void Signal(int signal) const { ::kill(m_pid, signal); }
    void CloseStdin() { m_stdin.Reset(); }

    // The next line of standard output, without its newline.
    std::optional<std::string> ReadLine() {
        const auto deadline = Clock::now() + kPatience;
        for (;;) {
            if (const auto end = m_pending.find('\n'); end != std::string::npos) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return line;
            }
            if (!ReadMore(deadline))
                return std::nullopt;
        }
    }

    // Waits for the process to end; returns its wait status and the rest of its output.
    std::pair<int, std::string> WaitExit() {
        const auto deadline = Clock::now() + kPatience;
        while (ReadMore(deadline)) {
        }
        int status = -1;
        // Its output ended, so it has exited or is about to; a hang shows as the test's time-out.
        if (::waitpid(m_pid, &status, 0) == m_pid)
            m_exited = true;
        return {status, std::exchange(m_pending, {})};
    }

  private:
    bool ReadMore(Clock::time_point deadline) {
        pollfd p{m_stdout.Get(), POLLIN, 0};
        if (::poll(&p, 1, Left(deadline)) <= 0)
            return false;
        char buf[512];
        const ssize_t n = ::read(m_stdout.Get(), buf, sizeof buf);
        if (n <= 0)
            return false;
        m_pending.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    posix::UniqueFd m_stdout;
    posix::UniqueFd m_stdin;
    bool m_exited = false;
    std::string m_pending;
};

// What a port reads from the line: frames and probe answers, told apart by the byte after the
// header (a frame sends 0 there, an answer is followed by the next header).
struct Record {
    enum Kind { Frame, Answer, Malformed, Nothing } kind = Nothing;
    DisplaySlots slots;
};

class Port {
  public:
    explicit Port(const fs::path& path, speed_t speed = B38400)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios tio{};
        if (m_fd && ::tcgetattr(m_fd.Get(), &tio) == 0) {
            ::cfmakeraw(&tio);
            ::cfsetspeed(&tio, speed);
            ::tcsetattr(m_fd.Get(), TCSANOW, &tio);
        }
    }
    bool IsOpen() const { return static_cast<bool>(m_fd); }

    void Send(std::uint8_t byte) const { ASSERT_EQ(::write(m_fd.Get(), &byte, 1), 1); }
    void Send(std::string_view text) const {
        ASSERT_EQ(::write(m_fd.Get(), text.data(), text.size()), std::ssize(text));
    }

    // A family's line, through its LF (or `end`); empty when none came within the test's
    // patience.
    std::string NextLine(char end = '\n') {
        const auto deadline = Clock::now() + kPatience;
        for (;;) {
            if (const auto lf = std::find(m_in.begin(), m_in.end(), end); lf != m_in.end()) {
                std::string line(m_in.begin(), lf + 1);
                m_in.erase(m_in.begin(), lf + 1);
                return line;
            }
            if (!ReadMore(deadline))
                return {};
        }
    }

    // Skips whatever a reader before us left unread, up to the next frame.
    void Resync() { m_resync = true; }

    // The next record, waiting for it as long as it takes within the test's patience.
    Record Next() {
        const auto deadline = Clock::now() + kPatience;
        for (;;) {
            if (m_resync)
                DropUpToFrame();
            if (m_in.size() >= 3) {
                if (m_in[0] != kHeader0 || m_in[1] != kHeader1)
                    return {Record::Malformed, {}};
                if (m_in[2] == kHeader0)
                    return Take(2, Record::Answer);
                if (m_in[2] != kUnusedByte)
                    return {Record::Malformed, {}};
                if (m_in.size() >= kFrameSize)
                    return Take(kFrameSize, Record::Frame);
            }
            if (!ReadMore(deadline))
                return {};
        }
    }

    // Reads until the far end hangs up; true when it did.
    bool ReadToHangUp() {
        const auto deadline = Clock::now() + kPatience;
        while (ReadMore(deadline)) {
        }
        return m_hungUp;
    }
    std::size_t Unread() const { return m_in.size(); }
    bool NothingWaiting() const {
        pollfd p{m_fd.Get(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

  private:
    Record Take(std::size_t count, Record::Kind kind) {
        Record record{kind, {}};
        if (kind == Record::Frame)
            record.slots = *DecodeFrame(std::span(m_in.data(), count));
        m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(count));
        return record;
    }

    void DropUpToFrame() {
        for (std::size_t i = 0; i + 3 <= m_in.size(); ++i) {
            if (m_in[i] == kHeader0 && m_in[i + 1] == kHeader1 && m_in[i + 2] == kUnusedByte) {
                m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(i));
                m_resync = false;
                return;
            }
        }
    }

    bool ReadMore(Clock::time_point deadline) {
        pollfd p{m_fd.Get(), POLLIN, 0};
        if (::poll(&p, 1, Left(deadline)) <= 0)
            return false;
        std::uint8_t buf[4096];
        const ssize_t n = ::read(m_fd.Get(), buf, sizeof buf);
        if (n <= 0) {
            m_hungUp = true;
            return false;
        }
        m_in.insert(m_in.end(), buf, buf + n);
        return true;
    }

    posix::UniqueFd m_fd;
    bool m_resync = false;
    bool m_hungUp = false;
    std::vector<std::uint8_t> m_in;
};

// Starts the simulator on a fresh port directory and reads its announcement.
class ScaleSimProcess : public ::testing::Test {
  protected:
    void Start(std::vector<std::string> extra) {
        std::vector<std::string> args = {"--port-dir", m_dir.Path().string(), "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        m_sim.emplace(args);
        for (;;) {
            const auto line = m_sim->ReadLine();
            ASSERT_TRUE(line) << "no 'ready' from the simulator";
            if (*line == "ready")
                break;
            m_announced.push_back(*line);
        }
    }

    fs::path Com(int n) const { return m_dir.Path() / ("COM" + std::to_string(n)); }

    // The next frame, failing on anything else.
    DisplaySlots NextFrame(Port& port) {
        const Record record = port.Next();
        EXPECT_EQ(record.kind, Record::Frame);
        return record.slots;
    }

    TempDir m_dir;
    std::optional<SimProcess> m_sim;
    std::vector<std::string> m_announced;
};

TEST_F(ScaleSimProcess, ProbeFramesTareAndCleanExit) {
    ASSERT_NO_FATAL_FAILURE(Start({"--com", "1", "--silent", "2", "--rate", "40"}));
    ASSERT_EQ(m_announced.size(), 2u);
    for (int n : {1, 2}) {
        const std::string prefix = "COM" + std::to_string(n) + " ";
        ASSERT_EQ(m_announced[n - 1].rfind(prefix, 0), 0u) << m_announced[n - 1];
        EXPECT_EQ(fs::read_symlink(Com(n)).string(), m_announced[n - 1].substr(prefix.size()));
    }

    Port port(Com(1));
    Port silent(Com(2));
    ASSERT_TRUE(port.IsOpen() && silent.IsOpen());
    // Nothing was sent before we opened the line, so it starts with a whole frame.
    NextFrame(port);

    port.Send(kProbe);
    silent.Send(kProbe);
    int answers = 0;
    int frames = 0;
    while (answers == 0 || frames < 10) {
        const Record record = port.Next();
        ASSERT_TRUE(record.kind == Record::Frame || record.kind == Record::Answer) << record.kind;
        (record.kind == Record::Answer ? answers : frames)++;
    }
    EXPECT_EQ(answers, 1);
    EXPECT_TRUE(silent.NothingWaiting()) << "the silent line answered";

    port.Send(kKeyTare);
    DisplaySlots slots = NextFrame(port);
    for (int i = 0; i < 400 && !(slots.unit & kUnitNet); ++i)
        slots = NextFrame(port);
    ASSERT_NE(slots.unit & kUnitNet, 0) << "TARE never took";
    EXPECT_EQ(ReadingText(slots.hex), "0.000");
    EXPECT_NE(slots.sign & kSignTare, 0);

    m_sim->Signal(SIGTERM);
    const auto [status, output] = m_sim->WaitExit();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(output.rfind("frames sent: ", 0), 0u) << output;
    EXPECT_GT(std::stoul(output.substr(13)), 10u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Com(1))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Com(2))));
    EXPECT_TRUE(port.ReadToHangUp());
}

TEST_F(ScaleSimProcess, LineServesAgainAfterThePortLetGo) {
    ASSERT_NO_FATAL_FAILURE(Start({"--rate", "40"}));
    {
        Port first(Com(1));
        NextFrame(first);
        NextFrame(first);
    }
    Port second(Com(1));
    second.Resync();
    EXPECT_NE(NextFrame(second).unit & kUnitKg, 0);
    second.Send(kKeyMode);
    DisplaySlots slots = NextFrame(second);
    for (int i = 0; i < 400 && !(slots.unit & kUnitLb); ++i)
        slots = NextFrame(second);
    EXPECT_NE(slots.unit & kUnitLb, 0) << "MODE did not reach the scale after reopening";
}

TEST_F(ScaleSimProcess, FramesDoNotPileUpWhileNobodyHoldsTheLine) {
    ASSERT_NO_FATAL_FAILURE(Start({"--com", "1,2", "--rate", "80"}));
    {
        // Two seconds of frames on COM2, while COM1 stays closed.
        Port other(Com(2));
        for (int i = 0; i < 160; ++i)
            NextFrame(other);
    }
    Port port(Com(1));
    NextFrame(port);
    // Whatever came with the first frame: a piled-up line would hand over all 160 at once.
    EXPECT_LT(port.Unread(), 40 * kFrameSize);
}

TEST_F(ScaleSimProcess, StopsAfterTheFrameLimitWithExactlyThoseFrames) {
    ASSERT_NO_FATAL_FAILURE(Start({"--rate", "80", "--frames", "5"}));
    Port port(Com(1));
    ASSERT_TRUE(port.ReadToHangUp());
    for (int i = 0; i < 5; ++i)
        NextFrame(port);
    EXPECT_EQ(port.Unread(), 0u);
    const auto [status, output] = m_sim->WaitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(output, "frames sent: 5\n");
}

TEST_F(ScaleSimProcess, AQueryFamilyCountsTheWeightsItAnsweredWith) {
    ASSERT_NO_FATAL_FAILURE(Start({"--protocol", "sics", "--com", "1"}));
    Port port(Com(1), B9600);
    for (int i = 0; i < 2; ++i) {
        port.Send("SI\r\n");
        EXPECT_TRUE(port.NextLine().starts_with("S ")) << i;
    }
    port.Send("XX\r\n");
    EXPECT_EQ(port.NextLine(), "ES\r\n");
    m_sim->Signal(SIGTERM);
    const auto [status, output] = m_sim->WaitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(output, "frames sent: 2\n");
}

TEST_F(ScaleSimProcess, An8217AnswersItsStatusAndZeroesOnZ) {
    ASSERT_NO_FATAL_FAILURE(Start({"--protocol", "8217", "--com", "1", "--load", "1.250kg"}));
    Port port(Com(1), B9600);
    // Stable off zero, then stable at the centre of zero: bits 5 and 6 always, bit 4 at zero.
    const std::pair<const char*, std::string> asked[] = {
        {"W",
         "\x02"
         "01.250\r"},
        {"?",
         "\x02"
         "\x60\r"},
        {"Z",
         "\x02"
         "\x70\r"},
        {"W",
         "\x02"
         "00.000\r"},
    };
    for (const auto& [command, answer] : asked) {
        port.Send(command);
        EXPECT_EQ(port.NextLine('\r'), answer) << command;
    }
}

TEST_F(ScaleSimProcess, StopsWhenStandardInputEnds) {
    ASSERT_NO_FATAL_FAILURE(Start({"--stdin-eof", "--com", "3"}));
    EXPECT_TRUE(fs::is_symlink(Com(3)));
    m_sim->CloseStdin();
    const auto [status, output] = m_sim->WaitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(output, "frames sent: 0\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(Com(3))));
}

TEST_F(ScaleSimProcess, RemovesItsPortFolderWhenItEndsUnlessSomethingElseIsInIt) {
    // The folder of a run whose starter was killed: only the simulator is left to clean up.
    for (const bool foreign : {false, true}) {
        const fs::path dir = m_dir.Path() / (foreign ? "shared" : "own");
        fs::create_directory(dir);
        if (foreign)
            std::ofstream(dir / "notes.txt") << "not the simulator's";
        SimProcess sim({"--port-dir", dir.string(), "--remove-port-dir", "--stdin-eof", "--quiet"});
        std::optional<std::string> line;
        while ((line = sim.ReadLine()) && *line != "ready") {
        }
        ASSERT_TRUE(line) << "no 'ready' from the simulator";
        EXPECT_TRUE(fs::is_symlink(dir / "COM1"));
        sim.CloseStdin();
        const auto [status, output] = sim.WaitExit();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(fs::exists(dir), foreign);
        if (foreign) {
            EXPECT_TRUE(fs::exists(dir / "notes.txt"));
            EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM1")));
        }
    }
}

TEST_F(ScaleSimProcess, RefusesToReplaceAFileThatIsNoLink) {
    std::ofstream(Com(1)) << "keep me";
    m_sim.emplace(std::vector<std::string>{"--port-dir", m_dir.Path().string(), "--quiet"});
    const auto [status, output] = m_sim->WaitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(output.find("ready"), std::string::npos);
    std::ifstream kept(Com(1));
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "keep me");
}

}  // namespace
}  // namespace scalesim
