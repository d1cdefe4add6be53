// karvel-read with another scale family: each family found on a pseudo-terminal whose peer
// talks only at its own speed, what detection sends (never a tare, zero or key command), keys
// as the family's own commands, the options it refuses, and the plain scan left as it was.

#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "tests/read/ReadTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tools/peers/FamilyPeer.h"
#include "tools/peers/PortDirectory.h"

namespace readtest {
namespace {

using testing_support::FamilyPeer;

// Detection may listen at five speeds and ask five families on every port before it finds one.
constexpr auto kDetection = std::chrono::seconds(120);

class FamilyReader : public testing::Test {
  protected:
    void SetUp() override { ::setenv("KARVEL_PORT_DIR", m_ports.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("KARVEL_PORT_DIR"); }

    testing_support::PortDirectory m_ports;
};

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// No family's tare or zero, and none of the panel's key letters (T, Z, M, O).
void ExpectNoKeyBytes(const std::string& received) {
    EXPECT_EQ(received.find_first_of("TZMO"), std::string::npos) << received;
    EXPECT_FALSE(Holds(received, "\x1bT")) << received;
}

struct DetectCase {
    const char* family;
    FamilyPeer::Talk talk;
    const char* found;    // what stderr says of COM1
    const char* reading;  // the JSON fields from "text" to "unit"
    bool stable;
    bool overLoad;
};

TEST_F(FamilyReader, AutoFindsEachFamilyAtItsOwnSpeedAndSendsNoKey) {
    const DetectCase cases[] = {
        {"sics (asked)",
         {9600, {}, {}, {{"SI\r\n", "S S     100.00 g\r\n"}}},
         "COM1: sics at 9600 8N1",
         R"("text":"100.00","value":100.00,"unit":"g")",
         true,
         false},
        {"and (streaming, 7E1 read at 8N1)",
         {2400, {"\xd3\xd4,+00012.34  g\r\n"}, std::chrono::milliseconds(50), {}},
         "COM1: and at 2400 7E1",
         R"("text":"12.34","value":12.34,"unit":"g")",
         true,
         false},
        {"sbi (asked, 1200 baud)",
         {1200, {}, {}, {{"\x1bP", "-     0.05    \r\n"}}},
         "COM1: sbi at 1200 7O1",
         R"("text":"-0.05","value":-0.05,"unit":null)",
         false,
         false},
        {"ohaus (streaming at 4800)",
         {4800, {"     -1.234 kg ? NET\r\n"}, std::chrono::milliseconds(50), {}},
         "COM1: ohaus at 4800 8N1",
         R"("text":"-1.234","value":-1.234,"unit":"kg")",
         false,
         false},
        {"toledo (streaming at 19200)",
         {19200, {std::string("\x02,0 001234000000\r")}, std::chrono::milliseconds(50), {}},
         "COM1: toledo at 19200 8N1",
         R"("text":"12.34","value":12.34,"unit":"kg")",
         true,
         false},
        {"cas (over load)",
         {9600, {"OL,GS,1@,        kg\r\n"}, std::chrono::milliseconds(50), {}},
         "COM1: cas at 9600 8N1",
         R"("text":"OL","value":null,"unit":null)",
         false,
         true},
        {"indicator (asked at 2400)",
         {2400, {}, {}, {{"READ\r\n", "ST,GS,+0012.34kg\r\n"}}},
         "COM1: indicator at 2400 8N1",
         R"("text":"12.34","value":12.34,"unit":"kg")",
         true,
         false},
        {"sma (asked with LF W CR)",
         {9600, {}, {}, {{"\nW\r", "\n 1N     1.250kg \r"}}},
         "COM1: sma at 9600 8N1",
         R"("text":"1.250","value":1.250,"unit":"kg")",
         true,
         false},
        {"8217 (asked with W, over capacity)",
         {2400, {}, {}, {{"W", "\x02?b\r"}}},
         "COM1: 8217 at 2400 7E1",
         R"("text":"OL","value":null,"unit":null)",
         false,
         true},
    };
    for (const DetectCase& c : cases) {
        SCOPED_TRACE(c.family);
        FamilyPeer peer(c.talk);
        m_ports.Map(1, peer.DevicePath());
        Child reader({ReaderPath(), "--protocol", "auto", "--count", "1", "--capture", "every"});
        const std::string line = reader.ReadLine(kDetection).value_or("(none)");
        EXPECT_EQ(reader.Wait(), 0);
        EXPECT_TRUE(Holds(reader.Errors(), c.found)) << reader.Errors();
        EXPECT_TRUE(Holds(line, c.reading)) << line;
        EXPECT_TRUE(Holds(line, std::string("\"stable\":") + (c.stable ? "true" : "false")))
            << line;
        EXPECT_TRUE(Holds(line, std::string("\"overload\":") + (c.overLoad ? "true" : "false")))
            << line;
        // The family's name is the last field.
        const std::string name =
            std::string(c.found).substr(6, std::string(c.found).find(' ', 6) - 6);
        EXPECT_TRUE(line.ends_with(",\"protocol\":\"" + name + "\"}")) << line;
        ExpectNoKeyBytes(peer.Received());
        m_ports.Unmap(1);
    }
}

// A device path no COM number stands for is called by that path, as it is without --protocol.
TEST_F(FamilyReader, ADevicePathNamedByTheUserIsCalledByThatPath) {
    FamilyPeer scale({2400, {"ST,+00001.00  g\r\n"}, std::chrono::milliseconds(50), {}});
    const std::string path = scale.DevicePath();
    Child reader(
        {ReaderPath(), "--port", path, "--protocol", "and", "--count", "1", "--capture", "every"});
    const std::string line = reader.ReadLine(kDetection).value_or("(none)");
    EXPECT_EQ(reader.Wait(), 0);
    EXPECT_TRUE(Holds(line, "\"port\":\"" + path + "\",\"device\":\"" + path + "\"")) << line;
    const std::string errors = reader.Errors();
    EXPECT_TRUE(Holds(errors, path + ": and at 2400")) << errors;
    EXPECT_TRUE(Holds(errors, "reading " + path + "\n")) << errors;
    EXPECT_FALSE(Holds(errors, "COM")) << errors;
}

TEST_F(FamilyReader, SilentAndNoisyPortsAreSaidOnceAndTheAskedBalanceIsRead) {
    FamilyPeer silent({});
    FamilyPeer::Talk noise;
    noise.noise = true;
    FamilyPeer noisy(noise);
    FamilyPeer balance({2400, {}, {}, {{"READ\r\n", "ST,GS,+0001.50kg\r\n"}}});
    m_ports.Map(1, silent.DevicePath());
    m_ports.Map(2, noisy.DevicePath());
    m_ports.Map(3, balance.DevicePath());
    Child reader({ReaderPath(), "--protocol", "auto", "--count", "1", "--format", "text"});
    const std::string line = reader.ReadLine(kDetection).value_or("(none)");
    EXPECT_EQ(reader.Wait(), 0);
    EXPECT_TRUE(Holds(line, "COM3 1.50 kg stable")) << line;
    const std::string errors = reader.Errors();
    EXPECT_TRUE(Holds(errors,
                      "COM1: silent (listened at 9600, 4800, 2400, 1200, 19200 baud; "
                      "no answer to SI, Q, ESC P, IP, READ, W)"))
        << errors;
    EXPECT_TRUE(Holds(errors, "COM2: unreadable (")) << errors;
    EXPECT_TRUE(Holds(errors, "COM3: indicator at 2400 8N1")) << errors;
    // Noise is no family's: the noisy port is never asked either.
    EXPECT_TRUE(noisy.Received().find("READ") == std::string::npos);
    for (const FamilyPeer* peer : {&silent, &noisy, &balance})
        ExpectNoKeyBytes(peer->Received());
    // The reader set each speed it listened at, as the silent port saw.
    const std::vector<unsigned> heard = silent.Speeds();
    for (const unsigned baud : {9600u, 4800u, 2400u, 1200u, 19200u})
        EXPECT_NE(std::find(heard.begin(), heard.end(), baud), heard.end()) << baud;
}

// A balance that talks only at its own speed reads the probe and the query after it as one
// command and says ES: its line is cleared and it is asked again. One that only ever says ES is
// said so, not "silent".
TEST_F(FamilyReader, ASicsBalanceThatAnswersESToTheProbeAndItsQueryIsFound) {
    FamilyPeer balance(
        {9600, {}, {}, {{"\x05SI\r\n", "ES\r\n"}, {"SI\r\n", "S S     100.00 g\r\n"}}});
    FamilyPeer refusing({9600, {}, {}, {{"\n", "ES\r\n"}}});
    m_ports.Map(1, balance.DevicePath());
    m_ports.Map(2, refusing.DevicePath());
    for (const char* port : {"COM1", "COM2"}) {
        Child reader({ReaderPath(), "--port", port, "--protocol", "auto", "--count", "1"});
        const auto line = reader.ReadLine(kDetection);
        const std::string errors = reader.Errors();
        if (std::string_view(port) == "COM1") {
            EXPECT_TRUE(line && Holds(*line, "\"text\":\"100.00\"")) << errors;
            EXPECT_TRUE(Holds(errors, "COM1: sics at 9600")) << errors;
        } else {
            EXPECT_FALSE(line);
            EXPECT_TRUE(Holds(errors, "COM2: answered ES (an MT-SICS balance's error)")) << errors;
            EXPECT_FALSE(Holds(errors, "silent")) << errors;
        }
    }
    ExpectNoKeyBytes(balance.Received());
}

// The README's example pattern against a scale that streams its own lines, however the port is
// named.
TEST_F(FamilyReader, ThePatternFamilyReadsTheLinesItsPatternDescribes) {
    const char* const pattern = "^W:(?<value>[-+ 0-9.]+)(?<unit>[a-z]+)(?<stable> S)?$";
    const std::vector<std::string> ways[] = {{}, {"--port", "COM1"}, {"--line", "9600"}};
    for (const std::vector<std::string>& way : ways) {
        SCOPED_TRACE(way.empty() ? "found" : way[0]);
        FamilyPeer scale({9600, {"W:12.5kg S\r\n"}, std::chrono::milliseconds(100), {}});
        m_ports.Map(1, scale.DevicePath());
        std::vector<std::string> argv = {ReaderPath(), "--protocol", "pattern", "--pattern",
                                         pattern,      "--count",    "1"};
        argv.insert(argv.end(), way.begin(), way.end());
        Child reader(argv);
        const std::string line = reader.ReadLine(kDetection).value_or("(none)");
        EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
        EXPECT_TRUE(Holds(reader.Errors(), "COM1: pattern at 9600 8N1")) << reader.Errors();
        EXPECT_TRUE(Holds(line, R"("text":"12.5","value":12.5,"unit":"kg","stable":true)")) << line;
        EXPECT_TRUE(line.ends_with(R"(,"protocol":"pattern"})")) << line;
        m_ports.Unmap(1);
    }
}

// A Toledo scale that sends checksums, every fourth frame's figures changed after its checksum
// was made: from detection on, no changed figures are read, and the drop is told once.
TEST_F(FamilyReader, AToledoFrameWhoseChecksumFailsIsNeverRead) {
    const auto withChecksum = [](const std::string& figures) {
        const std::string frame = std::string("\x02,0 ") + figures + "000000\r";
        int sum = 0;
        for (const char c : frame)
            sum += c;
        return frame + static_cast<char>(-sum & 0x7F);
    };
    std::string bad = withChecksum("001234");
    bad.replace(4, 6, "009999");
    const std::string good = withChecksum("001234");
    FamilyPeer scale({9600, {good, good, good, bad}, std::chrono::milliseconds(50), {}});
    m_ports.Map(1, scale.DevicePath());
    Child reader({ReaderPath(), "--protocol", "toledo", "--capture", "every", "--count", "10",
                  "--format", "text"});
    std::string lines;
    for (int n = 0; n < 10; ++n)
        lines += reader.ReadLine(kDetection).value_or("(none)") + "\n";
    EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
    EXPECT_FALSE(Holds(lines, "99.99")) << lines;
    EXPECT_FALSE(Holds(lines, "(none)")) << lines;
    const std::string said = "bad checksum: frame dropped";
    const std::size_t first = lines.find(said);
    EXPECT_NE(first, std::string::npos) << lines;
    EXPECT_EQ(lines.find(said, first + 1), std::string::npos) << lines;
}

TEST_F(FamilyReader, ANamedFamilyIsAskedAgainAndTakesItsOwnKeys) {
    FamilyPeer balance(
        {9600, {}, {}, {{"SI\r\n", "S S      12.50 g\r\n"}, {"T\r\n", "T S      12.50 g\r\n"}}});
    m_ports.Map(1, balance.DevicePath());
    Child reader({ReaderPath(), "--protocol", "sics", "--keys"});
    ASSERT_TRUE(reader.ReadLine(kDetection).has_value()) << reader.Errors();
    reader.Write("MODE\n");
    ASSERT_TRUE(reader.WaitForError("sics has no MODE key: nothing sent")) << reader.Errors();
    reader.Write("tare\n");
    // Tared, and asked again after it: a balance that only answers is read on.
    EXPECT_TRUE(balance.WaitForReceived("T\r\nSI\r\n")) << balance.Received();
    reader.Signal(SIGTERM);
    EXPECT_EQ(reader.Wait(), 0);
    EXPECT_FALSE(Holds(balance.Received(), "M")) << balance.Received();
}

// Unplugged and plugged in again: the same family is read on at the settings it was found or
// named at, with nothing sent to the device that is back but what reading sends anyway.
TEST_F(FamilyReader, AFamilysScaleUnpluggedIsReadAgainWhenItComesBack) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::function<FamilyPeer::Talk(char grams)> talk;
        const char* sentToIt;  // what the device that came back may receive, repeated
    } cases[] = {
        {"and found at 2400",
         {"--protocol", "auto"},
         [](char grams) {
             return FamilyPeer::Talk{2400,
                                     {std::string("ST,+0000") + grams + ".00  g\r\n"},
                                     std::chrono::milliseconds(50),
                                     {}};
         },
         ""},
        {"sics named, asked for each reading",
         {"--protocol", "sics"},
         [](char grams) {
             return FamilyPeer::Talk{
                 9600, {}, {}, {{"SI\r\n", std::string("S S       ") + grams + ".00 g\r\n"}}};
         },
         "SI\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto scale = std::make_unique<FamilyPeer>(c.talk('1'));
        m_ports.Map(1, scale->DevicePath());
        std::vector<std::string> argv = {ReaderPath(), "--capture", "every", "--format", "text"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child reader(argv);
        ASSERT_TRUE(Holds(reader.ReadLine(kDetection).value_or(""), "1.00 g")) << reader.Errors();

        scale.reset();  // its pseudo-terminal closes: the line hangs up
        m_ports.Unmap(1);
        ASSERT_TRUE(reader.WaitForError("went away")) << reader.Errors();
        scale = std::make_unique<FamilyPeer>(c.talk('2'));
        m_ports.Map(1, scale->DevicePath());
        ASSERT_TRUE(reader.WaitForError("back; reading again")) << reader.Errors();
        bool readAgain = false;
        for (int n = 0; n < 100 && !readAgain; ++n)
            readAgain = Holds(reader.ReadLine().value_or(""), "2.00 g");
        EXPECT_TRUE(readAgain) << reader.Errors();
        EXPECT_FALSE(reader.Wait(std::chrono::seconds(0))) << "it ended: " << reader.Errors();
        // No probe, no listening query, no key: only the family's own asking, if any.
        std::string received = scale->Received();
        for (std::size_t at; *c.sentToIt && (at = received.find(c.sentToIt)) != std::string::npos;)
            received.erase(at, std::string(c.sentToIt).size());
        EXPECT_EQ(received, "") << scale->Received();
        reader.Signal(SIGTERM);
        EXPECT_EQ(reader.Wait(), 0);
        m_ports.Unmap(1);
    }
}

TEST(FamilyReaderOnSimulator, EachFamilyIsReadWithItsUnitAndTareActsOnTheWeight) {
    struct Case {
        const char* family;
        const char* unit;  // of a stable reading
    };
    const Case cases[] = {{"sics", "g"},    {"and", "g"},  {"sbi", "g"},       {"ohaus", "g"},
                          {"toledo", "kg"}, {"cas", "kg"}, {"indicator", "kg"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        TempDir folder;
        const std::string ports = folder.Path().string();
        auto sim = StartSimulator(ports, {"--protocol", c.family});
        ::setenv("KARVEL_PORT_DIR", ports.c_str(), 1);
        Child reader(
            {ReaderPath(), "--protocol", c.family, "--capture", "settled-all", "--count", "1"});
        const std::string line = reader.ReadLine(kDetection).value_or("(none)");
        EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
        EXPECT_TRUE(Holds(line, std::string("\"unit\":\"") + c.unit + "\"")) << line;
        EXPECT_TRUE(line.ends_with(std::string(",\"protocol\":\"") + c.family + "\"}")) << line;
        ::unsetenv("KARVEL_PORT_DIR");
    }
    // TARE on the simulated balance: what it shows drops to nothing.
    TempDir folder;
    const std::string ports = folder.Path().string();
    auto sim = StartSimulator(ports, {"--protocol", "sics"});
    ::setenv("KARVEL_PORT_DIR", ports.c_str(), 1);
    Child reader({ReaderPath(), "--protocol", "sics", "--keys", "--capture", "every"});
    ASSERT_TRUE(reader.ReadLine(kDetection).has_value()) << reader.Errors();
    reader.Write("TARE\n");
    bool tared = false;
    for (int n = 0; n < 200 && !tared; ++n)
        tared = Holds(reader.ReadLine().value_or(""), "\"text\":\"0.00\"");
    EXPECT_TRUE(tared);
    reader.Signal(SIGTERM);
    EXPECT_EQ(reader.Wait(), 0);
    ::unsetenv("KARVEL_PORT_DIR");
}

TEST_F(FamilyReader, TheBrokerGetsTheFamilysUnitInStateAndDiscovery) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "#");
    FamilyPeer balance({9600, {}, {}, {{"SI\r\n", "S S       0.25 ct\r\n"}}});
    m_ports.Map(1, balance.DevicePath());
    Child reader({ReaderPath(), "--protocol", "sics", "--id", "s1", "--mqtt", broker.Url(),
                  "--mqtt-discovery", "--count", "1"});
    const std::string config = "homeassistant/sensor/karvel_s1/weight/config";
    ASSERT_TRUE(subscriber.WaitFor([&](const std::vector<Message>& all) {
        const auto configs = PayloadsOn(all, config);
        return !PayloadsOn(all, "karvel/s1/state").empty() && !configs.empty() &&
               Holds(configs.back(), "\"unit_of_measurement\":\"ct\"");
    })) << reader.Errors();
    const auto states = subscriber.On("karvel/s1/state");
    EXPECT_TRUE(Holds(states.back(), "\"unit\":\"ct\"")) << states.back();
    EXPECT_TRUE(states.back().ends_with("\"protocol\":\"sics\"}")) << states.back();
    EXPECT_EQ(reader.Wait(), 0);
}

// Key lines from standard input and key messages from the broker take the same names, sent as
// the family's own commands, and a key the family lacks is said and sends nothing.
TEST_F(FamilyReader, KeysFromTheBrokerTakeTheFamilysNamesAsStandardInputDoes) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber sender(broker.Port(), "karvel/s1/none");
    for (const bool fromBroker : {false, true}) {
        SCOPED_TRACE(fromBroker ? "--mqtt-keys" : "--keys");
        FamilyPeer indicator({9600, {}, {}, {{"READ\r\n", "ST,GS,+0001.50kg\r\n"}}});
        m_ports.Map(1, indicator.DevicePath());
        Child reader({ReaderPath(), "--protocol", "indicator", "--id", "s1", "--mqtt", broker.Url(),
                      fromBroker ? "--mqtt-keys" : "--keys"});
        ASSERT_TRUE(reader.ReadLine(kDetection).has_value()) << reader.Errors();
        if (fromBroker) {
            ASSERT_TRUE(reader.WaitForError("taking keys on karvel/s1/key")) << reader.Errors();
        }
        const auto press = [&](const std::string& key) {
            if (fromBroker) {
                ASSERT_TRUE(sender.Publish("karvel/s1/key", key));
            } else {
                reader.Write(key + "\n");
            }
        };
        press("zero");
        EXPECT_TRUE(indicator.WaitForReceived("ZERO\r\n")) << reader.Errors();
        press(" PRINT ");
        EXPECT_TRUE(indicator.WaitForReceived("PRNT\r\n")) << reader.Errors();
        press("MODE");
        EXPECT_TRUE(reader.WaitForError("indicator has no MODE key: nothing sent"))
            << reader.Errors();
        press("TARE double");
        EXPECT_TRUE(reader.WaitForError("not TARE, ZERO, PRINT, DATA, MODE or ON/OFF"))
            << reader.Errors();
        reader.Signal(SIGTERM);
        EXPECT_EQ(reader.Wait(), 0);
        EXPECT_FALSE(Holds(indicator.Received(), "TARE")) << indicator.Received();
        m_ports.Unmap(1);
    }
}

TEST_F(FamilyReader, ThePlainScanSendsABalanceOnALowerPortOnlyTheProbe) {
    FamilyPeer balance({9600, {}, {}, {{"SI\r\n", "S S      12.50 g\r\n"}}});
    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, balance.DevicePath());
    m_ports.Map(2, scale.DevicePath());
    Child reader({ReaderPath(), "--count", "1"});
    ASSERT_TRUE(reader.WaitForError("reading COM2")) << reader.Errors();
    scale.Send(testing_support::ScaleFrame({0, 0x04, 0x01, 0, 0, 0, 0, 0, 0x3F}));
    const std::string line = reader.ReadLine().value_or("(none)");
    EXPECT_EQ(reader.Wait(), 0);
    EXPECT_FALSE(Holds(line, "protocol")) << line;
    EXPECT_EQ(balance.Received(), "\x05");
}

// Far more lines than one read takes, all at once, into a file (standard output left unread
// drops lines by design): each is kept, in order, with a time that never goes back.
TEST_F(FamilyReader, AFastStreamIsKeptWholeLineByLine) {
    constexpr int kLines = 3000;
    const auto send = [](testing_support::PtyPeer& peer, const std::string& bytes) {
        return peer.Send(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    };
    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Silent);
    m_ports.Map(1, scale.DevicePath());
    TempDir folder;
    const std::string output = folder / "lines.json";
    Child reader({"/bin/sh", "-c", "exec \"$@\" >" + output, "sh", ReaderPath(), "--protocol",
                  "sics", "--line", "115200,8N1", "--capture", "every", "--count",
                  std::to_string(kLines + 1)});
    ASSERT_TRUE(scale.WaitForBytes(4, kDetection)) << reader.Errors();  // its query
    ASSERT_TRUE(send(scale, "S S 0.00 g\r\n"));
    ASSERT_TRUE(reader.WaitForError("sics at 115200 8N1")) << reader.Errors();
    std::string burst;
    for (int n = 1; n <= kLines; ++n)
        burst += "S S " + std::to_string(n) + ".00 g\r\n";
    ASSERT_TRUE(send(scale, burst));
    ASSERT_EQ(reader.Wait(), 0) << reader.Errors();

    std::istringstream lines(testing_support::ReadFile(output));
    std::string line;
    long long lastTime = 0;
    for (int n = 0; n <= kLines; ++n) {
        ASSERT_TRUE(std::getline(lines, line)) << n;
        ASSERT_TRUE(Holds(line, "\"text\":\"" + std::to_string(n) + ".00\"")) << n << ": " << line;
        const std::size_t at = line.find("\"time_us\":");
        ASSERT_NE(at, std::string::npos) << line;
        const long long time = std::stoll(line.substr(at + 10));
        EXPECT_GE(time, lastTime) << line;
        lastTime = time;
    }
}

TEST_F(FamilyReader, OptionsItCannotUseAreRefusedWithExitTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* said;
    };
    const Case cases[] = {
        {{"--protocol", "sics", "--line", "9600,9X1"}, "--line needs BAUD[,FRAMING]"},
        {{"--protocol", "sics", "--line", "300"}, "not '300'"},
        {{"--line", "9600"}, "--line goes with --protocol"},
        {{"--protocol", "nope"}, "--protocol must be auto or one of karvel, sics"},
        {{"--protocol", "pattern"}, "--protocol pattern needs --pattern REGEX"},
        {{"--protocol", "pattern", "--pattern", "(?<value>"}, "--pattern: "},
        {{"--protocol", "pattern", "--pattern", "[0-9]+"}, "no group named value"},
        {{"--pattern", "(?<value>.+)"}, "--pattern goes with --protocol pattern"},
        {{"--protocol", "sics", "--raw"}, "does not go with --protocol"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {ReaderPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child reader(argv);
        EXPECT_EQ(reader.Wait(), 2) << c.said;
        EXPECT_TRUE(Holds(reader.Errors(), c.said)) << reader.Errors();
    }
}

}  // namespace
}  // namespace readtest
