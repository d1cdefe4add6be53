// The network wires' own parts: the address a user writes, and the telnet COM port option
// (RFC 2217) as a server speaks it, escapes and all.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/net/ComPortClient.h"
#include "platform/net/Telnet.h"
#include "platform/net/WireAddress.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using net::Scheme;

Bytes Of(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST(WireAddress, ReadsEachFormAndRefusesWhatIsWrongWithAReason) {
    struct Case {
        const char* text;
        bool wire;         // written as a network wire at all
        const char* host;  // null: refused
        std::uint16_t port;
        Scheme scheme;
        const char* refusal;  // part of the reason
    };
    const Case cases[] = {
        {"tcp://10.0.0.5:4001", true, "10.0.0.5", 4001, Scheme::kTcp, ""},
        {"rfc2217://scale-7.plant:2217", true, "scale-7.plant", 2217, Scheme::kRfc2217, ""},
        {"tcp://[::1]:65535", true, "::1", 65535, Scheme::kTcp, ""},
        {"tcp://10.0.0.5", true, nullptr, 0, Scheme::kTcp, "no port"},
        {"tcp://10.0.0.5:", true, nullptr, 0, Scheme::kTcp, "1 to 65535"},
        {"tcp://10.0.0.5:0", true, nullptr, 0, Scheme::kTcp, "1 to 65535"},
        {"tcp://10.0.0.5:65536", true, nullptr, 0, Scheme::kTcp, "1 to 65535"},
        {"tcp://10.0.0.5:4001/x", true, nullptr, 0, Scheme::kTcp, "1 to 65535"},
        {"tcp://:4001", true, nullptr, 0, Scheme::kTcp, "no host"},
        {"tcp://::1:4001", true, nullptr, 0, Scheme::kTcp, "brackets"},
        {"udp://10.0.0.5:4001", true, nullptr, 0, Scheme::kTcp, "unknown scheme 'udp'"},
        {"TCP://10.0.0.5:4001", true, nullptr, 0, Scheme::kTcp, "unknown scheme"},
        {"/dev/ttyUSB0", false, nullptr, 0, Scheme::kTcp, "not a network wire"},
        {"/dev/serial/by-path/x://y", false, nullptr, 0, Scheme::kTcp, ""},
        {"COM3", false, nullptr, 0, Scheme::kTcp, "not a network wire"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(net::NamesWire(c.text), c.wire);
        const auto parsed = net::ParseWire(c.text);
        ASSERT_EQ(parsed.Ok(), c.host != nullptr);
        if (!parsed) {
            EXPECT_NE(parsed.Error().text.find(c.refusal), std::string::npos)
                << parsed.Error().text;
            continue;
        }
        EXPECT_EQ(*parsed, (net::WireAddress{c.scheme, c.host, c.port}));
        EXPECT_EQ(net::WireText(*parsed), c.text);
    }
}

TEST(TelnetReader, SeparatesDataFromCommandsHoweverTheBytesAreSplit) {
    using namespace net::telnet;
    struct Case {
        const char* name;
        Bytes in;
        Bytes data;
        std::vector<Command> commands;
    };
    const Case cases[] = {
        {"plain data", Of("S S 1 g\r\n"), Of("S S 1 g\r\n"), {}},
        {"IAC IAC is one 0xFF", {'a', kIac, kIac, 'b'}, {'a', kIac, 'b'}, {}},
        {"negotiations among data",
         {'a', kIac, kWill, kBinary, 'b', kIac, kDo, kComPort},
         {'a', 'b'},
         {{kWill, kBinary, {}}, {kDo, kComPort, {}}}},
        {"a sub-negotiation with an escaped 0xFF",
         {kIac, kSb, kComPort, 101, 0, kIac, kIac, 0x12, 0xC0, kIac, kSe, 'x'},
         {'x'},
         {{kSb, kComPort, {101, 0, kIac, 0x12, 0xC0}}}},
        {"NOP and GA are dropped", {kIac, 241, 'a', kIac, 249}, {'a'}, {}},
        {"CR NUL is CR until binary",
         {'\r', 0, kIac, kWill, kBinary, '\r', 0},
         {'\r', '\r', 0},
         {{kWill, kBinary, {}}}},
        {"an over-long sub-negotiation is dropped whole",
         [] {
             Bytes b = {kIac, kSb, kComPort};
             b.insert(b.end(), kMaxSubNegotiation + 5, 7);
             b.insert(b.end(), {kIac, kSe, 'z'});
             return b;
         }(),
         {'z'},
         {}},
    };
    for (const Case& c : cases) {
        for (std::size_t split = 0; split <= c.in.size(); ++split) {
            SCOPED_TRACE(std::string(c.name) + ", split at " + std::to_string(split));
            Reader reader;
            Bytes data;
            std::vector<Command> commands;
            reader.Push(std::span(c.in).first(split), &data, &commands);
            reader.Push(std::span(c.in).subspan(split), &data, &commands);
            EXPECT_EQ(data, c.data);
            EXPECT_EQ(commands, c.commands);
        }
    }
}

TEST(TelnetWriter, EscapesEach0xFFAndFramesSubNegotiations) {
    using namespace net::telnet;
    EXPECT_EQ(Escaped(Bytes{'a', kIac, kIac, 'b'}), (Bytes{'a', kIac, kIac, kIac, kIac, 'b'}));
    EXPECT_EQ(SubNegotiation(kComPort, Bytes{1, 0, 0, kIac, 0}),
              (Bytes{kIac, kSb, kComPort, 1, 0, 0, kIac, kIac, 0, kIac, kSe}));
}

// As ser2net greets a client, then answers its line.
TEST(ComPortClient, AgreesOnceRefusesWhatItDoesNotKnowAndHearsTheSpeedSet) {
    using namespace net::telnet;
    net::ComPortClient client;
    EXPECT_EQ(client.Start(), (Bytes{kIac, kWill, kComPort, kIac, kWill, kBinary, kIac, kDo,
                                     kBinary, kIac, kDo, kSuppressGoAhead}));
    Bytes data;
    Bytes reply;
    const Bytes greeting = {kIac, kWill, kSuppressGoAhead,
                            kIac, kDo,   kSuppressGoAhead,
                            kIac, kWill, 1,
                            kIac, kDont, 1,
                            kIac, kDo,   kBinary,
                            kIac, kWill, kBinary,
                            kIac, kDo,   kComPort,
                            kIac, kWill, 1};
    client.Push(greeting, &data, &reply);
    // SGA is taken (asked of us, not asked by us); echo refused once, however often offered.
    EXPECT_EQ(reply, (Bytes{kIac, kWill, kSuppressGoAhead, kIac, kDont, 1}));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(client.ComPort(), net::ComPortClient::Agreement::kYes);

    const Bytes asked = client.SetLine({4800, 7, 'E', 2});
    EXPECT_EQ(asked,
              (Bytes{kIac, kSb,      kComPort, 1,   0,        0,   0x12, 0xC0, kIac,     kSe, kIac,
                     kSb,  kComPort, 2,        7,   kIac,     kSe, kIac, kSb,  kComPort, 3,   3,
                     kIac, kSe,      kIac,     kSb, kComPort, 4,   2,    kIac, kSe}));
    reply.clear();
    client.Push(Bytes{kIac, kSb, kComPort, 101, 0, 0, 0x12, 0xC0, kIac, kSe, 'S'}, &data, &reply);
    EXPECT_EQ(client.BaudAnswers(), 1u);
    EXPECT_EQ(client.BaudSet(), 4800u);
    EXPECT_EQ(data, Bytes{'S'});
    EXPECT_TRUE(reply.empty());
}

TEST(ComPortClient, AServerThatRefusesTheOptionIsTold) {
    using namespace net::telnet;
    net::ComPortClient client;
    client.Start();
    Bytes data;
    Bytes reply;
    client.Push(Bytes{kIac, kDont, kComPort}, &data, &reply);
    EXPECT_EQ(client.ComPort(), net::ComPortClient::Agreement::kNo);
    EXPECT_TRUE(reply.empty());
}

}  // namespace
