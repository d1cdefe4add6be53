// families_bench: the scale families measured against the panel's own frames in the same run.
//   families_bench decode   decoding cost per reading of each family's line, beside the frame
//                           rule (12-byte window, then the frame's reading): ns per reading and
//                           the ratio to the frame rule (medians of 5 rounds)
//   families_bench detect   karvel-read's time to its first reading when the family is named and
//                           when it is found by --protocol auto, per family; a folder of a silent
//                           port, a noisy one and a balance that only answers queries; a folder
//                           of 8 silent ports (nothing found: the time to say so)
//   families_bench parallel  --protocol auto over many ports: a balance that only answers (median
//                           of 3, beside the family named), 8 silent ports until nothing is
//                           found, the balance on COM8 behind 7 silent ports, a silent, a noisy
//                           and an asked port, and SIGTERM during detection until the reader ends
//                           (and the panel, when Karvel is beside families_bench)
//   families_bench streams  each family's line at 38 400, 57 600 and 115 200 baud, as many a
//                           second as nine tenths of the line carries (at most 600), for 5 s into
//                           karvel-read --capture every, and into the panel (offscreen) with
//                           --log and --capture every: the readings each kept against the lines
//                           written
// Programs are taken from beside families_bench.

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/CommandLine.h"
#include "bench/support/Measures.h"
#include "platform/serial/PseudoTerminal.h"
#include "scale/FrameWindow.h"
#include "scale/Reading.h"
#include "scale/families/Family.h"
#include "tools/peers/FamilyPeer.h"
#include "tools/peers/PortDirectory.h"
#include "tools/peers/ReaderPeers.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::FamilyPeer;

std::string g_binDir;

using bench::Figure;
using bench::LinesIn;

struct Sample {
    const char* family;
    std::string line;
};

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = {
        {"sics", "S S     100.00 g\r\n"},
        {"and", "ST,+00012.34  g\r\n"},
        {"sbi", "N     +    12.34 kg \r\n"},
        {"ohaus", "     -1.234 kg ? NET\r\n"},
        {"toledo", std::string("\x02,0 001234000000\r")},
        {"cas", "ST,GS,1@,  12.340 kg\r\n"},
        {"indicator", "ST,GS,+0012.34kg\r\n"},
    };
    return samples;
}

constexpr int kReadings = 200000;
constexpr int kRounds = 5;

// Nanoseconds per reading for `bytes` repeated, through `decode`.
template <typename Decode>
double NsPerReading(const std::vector<std::uint8_t>& bytes, Decode decode) {
    std::vector<double> rounds;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        const std::size_t readings = decode(bytes);
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        if (readings == 0)
            return -1;
        rounds.push_back(ns / static_cast<double>(readings));
    }
    return bench::Percentile(rounds, 0.5);
}

std::vector<std::uint8_t> Repeated(const std::string& line, int times) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < times; ++i)
        bytes.insert(bytes.end(), line.begin(), line.end());
    return bytes;
}

int Decode() {
    const scale::FrameBytes frame = scale::FrameOf({0, 0x04, 0x01, {0, 0, 0x06, 0xDB, 0x4F, 0x66}});
    const double frames =
        NsPerReading(Repeated(std::string(frame.begin(), frame.end()), kReadings),
                     [](const std::vector<std::uint8_t>& bytes) {
                         scale::FrameWindow window;
                         std::size_t readings = 0;
                         for (const std::uint8_t byte : bytes) {
                             if (window.Push(byte))
                                 readings += !scale::Read(window.FrameSlots()).text.empty();
                         }
                         return readings;
                     });
    Figure("decode_frame_rule_ns_per_reading", frames, "ns");
    for (const Sample& sample : Samples()) {
        const double ns = NsPerReading(
            Repeated(sample.line, kReadings), [&](const std::vector<std::uint8_t>& bytes) {
                std::string error;
                auto decoder = scale::families::MakeDecoder(*scale::families::Find(sample.family),
                                                            scale::kLine, {}, &error);
                std::vector<scale::families::Decoded> out;
                out.reserve(kReadings);
                decoder->Push(bytes, &out);
                return out.size();
            });
        Figure(std::string("decode_") + sample.family + "_ns_per_reading", ns, "ns");
        Figure(std::string("decode_") + sample.family + "_to_frame_rule_ratio", ns / frames, "x");
    }
    return 0;
}

// Seconds from the reader's start to its first reading; -1 when none came.
double FirstReading(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {g_binDir + "/karvel-read"};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto start = Clock::now();
    readtest::Child reader(argv);
    const auto line = reader.ReadLine(std::chrono::seconds(180));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    reader.Wait();
    return line ? seconds : -1;
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Silent peers on COM1 to COM`count`.
std::vector<std::unique_ptr<FamilyPeer>> SilentPorts(testing_support::PortDirectory& ports,
                                                     unsigned count) {
    std::vector<std::unique_ptr<FamilyPeer>> silent;
    for (unsigned port = 1; port <= count; ++port) {
        silent.push_back(std::make_unique<FamilyPeer>(FamilyPeer::Talk{}));
        ports.Map(port, silent.back()->DevicePath());
    }
    return silent;
}

// Seconds to the first reading from a silent, a noisy and an asked port on COM1 to COM3.
double SilentNoisyAsked(testing_support::PortDirectory& ports,
                        const std::vector<std::string>& args) {
    FamilyPeer silent({});
    FamilyPeer::Talk noise;
    noise.noise = true;
    FamilyPeer noisy(noise);
    FamilyPeer balance({2400, {}, {}, {{"READ\r\n", "ST,GS,+0001.50kg\r\n"}}});
    ports.Map(1, silent.DevicePath());
    ports.Map(2, noisy.DevicePath());
    ports.Map(3, balance.DevicePath());
    const double seconds = FirstReading(args);
    for (const unsigned port : {1u, 2u, 3u})
        ports.Unmap(port);
    return seconds;
}

struct Talker {
    const char* family;
    FamilyPeer::Talk talk;
};

int Detect() {
    testing_support::PortDirectory ports;
    ::setenv("KARVEL_PORT_DIR", ports.Path().c_str(), 1);
    const std::vector<Talker> talkers = {
        {"sics", {9600, {}, {}, {{"SI\r\n", "S S     100.00 g\r\n"}}}},
        {"and", {2400, {"ST,+00012.34  g\r\n"}, std::chrono::milliseconds(100), {}}},
        {"sbi", {1200, {}, {}, {{"\x1bP", "+    12.34 g  \r\n"}}}},
        {"ohaus", {9600, {}, {}, {{"IP\r\n", "     12.34 g\r\n"}}}},
        {"toledo",
         {9600, {std::string("\x02,0 001234000000\r")}, std::chrono::milliseconds(50), {}}},
        {"cas", {9600, {"ST,GS,1@,  12.340 kg\r\n"}, std::chrono::milliseconds(100), {}}},
        {"indicator", {2400, {}, {}, {{"READ\r\n", "ST,GS,+0012.34kg\r\n"}}}},
    };
    const std::vector<std::string> once = {"--count", "1", "--capture", "every"};
    for (const Talker& talker : talkers) {
        FamilyPeer peer(talker.talk);
        ports.Map(1, peer.DevicePath());
        std::vector<std::string> named = {"--protocol", talker.family};
        named.insert(named.end(), once.begin(), once.end());
        std::vector<std::string> found = {"--protocol", "auto"};
        found.insert(found.end(), once.begin(), once.end());
        const double n = FirstReading(named);
        const double a = FirstReading(found);
        Figure(std::string("first_reading_named_") + talker.family + "_s", n, "s");
        Figure(std::string("first_reading_auto_") + talker.family + "_s", a, "s");
        Figure(std::string("first_reading_auto_to_named_") + talker.family + "_ratio", a / n, "x");
        ports.Unmap(1);
    }
    {
        std::vector<std::string> found = {"--protocol", "auto"};
        found.insert(found.end(), once.begin(), once.end());
        Figure("first_reading_auto_silent_noisy_asked_s", SilentNoisyAsked(ports, found), "s");
    }
    {
        auto silent = SilentPorts(ports, 8);
        const auto start = Clock::now();
        readtest::Child reader({g_binDir + "/karvel-read", "--protocol", "auto"});
        reader.Wait(std::chrono::seconds(600));
        Figure("auto_eight_silent_ports_nothing_found_s",
               std::chrono::duration<double>(Clock::now() - start).count(), "s");
        const auto plainStart = Clock::now();
        readtest::Child plain({g_binDir + "/karvel-read"});
        plain.Wait(std::chrono::seconds(600));
        Figure("plain_scan_eight_silent_ports_nothing_found_s",
               std::chrono::duration<double>(Clock::now() - plainStart).count(), "s");
    }
    return 0;
}

int Parallel() {
    testing_support::PortDirectory ports;
    ::setenv("KARVEL_PORT_DIR", ports.Path().c_str(), 1);
    const FamilyPeer::Talk asked = {9600, {}, {}, {{"SI\r\n", "S S     100.00 g\r\n"}}};
    const std::vector<std::string> once = {"--count", "1", "--capture", "every"};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), once.begin(), once.end());
        return args;
    };
    {
        FamilyPeer balance(asked);
        ports.Map(1, balance.DevicePath());
        std::vector<double> found, named;
        for (int run = 0; run < 3; ++run) {
            found.push_back(FirstReading(with({"--protocol", "auto"})));
            named.push_back(FirstReading(with({"--protocol", "sics"})));
        }
        Figure("detect_auto_asked_balance_s", bench::Percentile(found, 0.5), "s");
        Figure("detect_named_asked_balance_s", bench::Percentile(named, 0.5), "s");
        ports.Unmap(1);
    }
    {
        auto silent = SilentPorts(ports, 8);
        const auto start = Clock::now();
        readtest::Child reader({g_binDir + "/karvel-read", "--protocol", "auto"});
        reader.Wait(std::chrono::seconds(600));
        Figure("detect_auto_eight_silent_nothing_found_s", Since(start), "s");
    }
    {
        auto silent = SilentPorts(ports, 7);
        FamilyPeer balance(asked);
        ports.Map(8, balance.DevicePath());
        Figure("detect_auto_balance_on_com8_first_reading_s",
               FirstReading(with({"--protocol", "auto"})), "s");
        for (unsigned port = 1; port <= 8; ++port)
            ports.Unmap(port);
    }
    Figure("detect_auto_silent_noisy_asked_first_reading_s",
           SilentNoisyAsked(ports, with({"--protocol", "auto"})), "s");
    {
        auto silent = SilentPorts(ports, 8);
        readtest::Child reader({g_binDir + "/karvel-read", "--protocol", "auto"});
        // Detection is under way once the first port has been probed.
        silent.front()->WaitForReceived("\x05", std::chrono::seconds(60));
        const auto start = Clock::now();
        reader.Signal(SIGTERM);
        reader.Wait(std::chrono::seconds(600));
        Figure("detect_auto_sigterm_to_end_s", Since(start), "s");
    }
    if (std::filesystem::exists(g_binDir + "/Karvel")) {
        // The panel ends on SIGTERM as its window closes: through its event loop.
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        auto silent = SilentPorts(ports, 8);
        readtest::Child panel({g_binDir + "/Karvel", "--protocol", "auto"});
        // Detection is under way once the first port has been probed.
        silent.front()->WaitForReceived("\x05", std::chrono::seconds(60));
        const auto start = Clock::now();
        panel.Signal(SIGTERM);
        panel.Wait(std::chrono::seconds(600));
        Figure("detect_panel_sigterm_to_end_s", Since(start), "s");
    }
    return 0;
}

// Lines karvel-read, or the panel in its log, lost of `seconds` of `line` at `rate` a second on a
// line at `baud`; -1 when it never kept the first.
long LostOfStream(const Sample& sample, int baud, int rate, int seconds, bool panel) {
    testing_support::PortDirectory ports;
    ::setenv("KARVEL_PORT_DIR", ports.Path().c_str(), 1);
    auto pty = serial_port::PseudoTerminal::Create();
    ports.Map(1, pty->DevicePath());
    const std::string out = ports.Path() + "/readings.out";
    std::vector<std::string> argv = {g_binDir + (panel ? "/Karvel" : "/karvel-read"),
                                     "--port",
                                     "COM1",
                                     "--protocol",
                                     sample.family,
                                     "--line",
                                     std::to_string(baud),
                                     "--capture",
                                     "every"};
    if (panel) {
        argv.insert(argv.end(), {"--log", out});
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    const pid_t reader = bench::Spawn(argv, panel ? "/dev/null" : out);
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(sample.line.data()), sample.line.size());
    // A line a tenth of a second until the reader has kept one (after the log's header).
    const std::size_t header = panel ? 1 : 0;
    const auto greeted = Clock::now() + std::chrono::seconds(30);
    while (LinesIn(out) <= header && Clock::now() < greeted) {
        pty->Write(bytes);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the greetings are in
    const std::size_t before = LinesIn(out);
    if (before <= header) {
        bench::End(reader);
        return -1;
    }
    const long sent = static_cast<long>(rate) * seconds;
    const auto start = Clock::now();
    for (long n = 1; n <= sent; ++n) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000 / rate) * n);
        pty->Write(bytes);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (LinesIn(out) < before + static_cast<std::size_t>(sent) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const long printed = static_cast<long>(LinesIn(out) - before);
    bench::End(reader);
    return sent - printed;
}

int Streams() {
    constexpr int kSeconds = 5;
    const bool withPanel = std::filesystem::exists(g_binDir + "/Karvel");
    for (const bool panel : {false, true}) {
        if (panel && !withPanel)
            break;
        const std::string who = panel ? "panel" : "reader";
        long worst = 0;
        for (const Sample& sample : Samples()) {
            for (const int baud : {38400, 57600, 115200}) {
                const int carried = static_cast<int>(baud / 10 * 9 / 10 / sample.line.size());
                const int rate = std::min(600, carried);
                const long lost = LostOfStream(sample, baud, rate, kSeconds, panel);
                Figure("stream_" + who + "_" + sample.family + "_" + std::to_string(baud) + "_" +
                           std::to_string(rate) + "lps_lines_lost",
                       static_cast<double>(lost), "");
                worst = lost < 0 || worst < 0 ? std::min(worst, lost) : std::max(worst, lost);
            }
        }
        Figure("stream_" + who + "_lines_lost_worst", static_cast<double>(worst), "");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    g_binDir = std::filesystem::path(argv[0]).parent_path().string();
    std::vector<std::string> modes;
    cli::OptionTable table(cli::kEvery);
    if (const auto code = bench::ReadCommandLine(
            table, "Modes: decode, detect, parallel, streams (families_bench MODE).", argc, argv,
            &modes))
        return *code;
    const std::string mode = modes.size() == 1 ? modes.front() : "";
    if (mode == "decode")
        return Decode();
    if (mode == "detect")
        return Detect();
    if (mode == "parallel")
        return Parallel();
    if (mode == "streams")
        return Streams();
    std::fprintf(stderr, "usage: families_bench decode|detect|parallel|streams\n");
    return 2;
}
