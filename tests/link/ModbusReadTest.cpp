// karvel-read and a weight transmitter over Modbus: the simulator's Modbus TCP server (readings
// come, TARE acts on the weight), an RTU server on a pseudo-terminal in the test (ZERO acts; one
// that falls silent is lost and back), the TCP server killed and started again (lost and back
// said, no reading but the transmitter's), and what is refused on the command line or said when
// nobody answers.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/read/ReadTestSupport.h"
#include "tools/peers/Pty.h"
#include "tools/scalesim/ModbusTransmitter.h"

namespace readtest {
namespace {

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The simulator's transmitter on `port` with `grams` on its pan, settled.
std::unique_ptr<Child> StartTransmitter(int port, int grams) {
    auto simulator = std::make_unique<Child>(
        std::vector<std::string>{KARVEL_SCALESIM_PATH, "--modbus-tcp", std::to_string(port),
                                 "--load", std::to_string(grams)});
    EXPECT_EQ(simulator->ReadLine(), "modbus-tcp://127.0.0.1:" + std::to_string(port))
        << simulator->Errors();
    EXPECT_EQ(simulator->ReadLine(), "ready");
    return simulator;
}

std::vector<std::string> ReaderArgs(const std::string& port, std::vector<std::string> more) {
    std::vector<std::string> argv = {ReaderPath(), "--port", port, "--modbus",
                                     scalesim::kTransmitterMap};
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
}

// Reads lines until one holds `wanted`; every line before it must hold one of `allowed`.
bool ReadUntil(Child& reader, const std::string& wanted, const std::vector<std::string>& allowed) {
    while (const auto line = reader.ReadLine()) {
        if (Holds(*line, wanted))
            return true;
        bool known = false;
        for (const std::string& value : allowed)
            known |= Holds(*line, value);
        EXPECT_TRUE(known) << "a reading the transmitter never held: " << *line;
        if (!known)
            return false;
    }
    return false;
}

TEST(ModbusRead, TheSimulatorsTransmitterIsReadAndTareActsOnItsWeight) {
    const int port = FreePort();
    const auto simulator = StartTransmitter(port, 1234);
    Child reader(ReaderArgs("modbus-tcp://127.0.0.1:" + std::to_string(port),
                            {"--keys", "--capture", "every"}));
    const auto first = reader.ReadLine();
    ASSERT_TRUE(first) << reader.Errors();
    for (const char* part : {R"("text":"1.234","value":1.234,"unit":"kg","stable":true)",
                             R"("frame":"f3b63f9d0000")", R"("protocol":"modbus")"})
        EXPECT_TRUE(Holds(*first, part)) << *first;
    reader.Write("TARE\n");
    EXPECT_TRUE(ReadUntil(reader, R"("value":0,)", {R"("value":1.234,)"})) << reader.Errors();
    EXPECT_TRUE(simulator->WaitForError("modbus: TARE")) << simulator->Errors();
}

// The far end of an RTU line: a transmitter's registers answered on a pseudo-terminal.
class RtuTransmitter {
  public:
    explicit RtuTransmitter(int grams)
        : m_pty(testing_support::MakePty()),
          m_model(1, 10),
          m_context(::modbus_new_rtu("/dev/null", 19200, 'E', 8, 1)) {
        m_model.PlaceLoad(grams);
        m_registers.Show(m_model);
        ::modbus_set_slave(m_context, 1);
        ::modbus_set_socket(m_context, m_pty.Descriptor());
        m_thread = std::thread([this] { Run(); });
    }
    ~RtuTransmitter() {
        m_stop = true;
        m_thread.join();
        ::modbus_set_socket(m_context, -1);  // the pseudo-terminal closes its own
        ::modbus_free(m_context);
    }
    const std::string& DevicePath() const { return m_pty.DevicePath(); }
    // A transmitter that stops answering (its power or its wire gone) and comes back with
    // another load.
    void FallSilent() { m_silent = true; }
    void AnswerAgainWith(int grams) {
        m_nextLoad = grams;
        m_silent = false;
    }

  private:
    void Run() {
        while (!m_stop) {
            pollfd p{m_pty.Descriptor(), POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN))
                continue;
            if (const int grams = m_nextLoad.exchange(-1); grams >= 0) {
                m_model.PlaceLoad(grams);
                m_registers.Show(m_model);
            }
            if (m_silent) {
                char unheard[256];
                [[maybe_unused]] const auto n = ::read(m_pty.Descriptor(), unheard, sizeof unheard);
                continue;
            }
            std::string acted;
            m_registers.Answer(m_context, m_model, &acted);
        }
    }

    serial_port::PseudoTerminal m_pty;
    scalesim::ScaleModel m_model;
    scalesim::TransmitterRegisters m_registers;
    modbus_t* m_context;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_silent{false};
    std::atomic<int> m_nextLoad{-1};
    std::thread m_thread;
};

TEST(ModbusRead, AnRtuLineIsReadAndZeroActsOnIt) {
    RtuTransmitter transmitter(2500);
    Child reader(
        ReaderArgs("modbus-rtu:" + transmitter.DevicePath(), {"--keys", "--capture", "every"}));
    const auto first = reader.ReadLine();
    ASSERT_TRUE(first) << reader.Errors();
    EXPECT_TRUE(Holds(*first, R"("value":2.5,"unit":"kg","stable":true)")) << *first;
    EXPECT_TRUE(Holds(*first, R"("device":")" + transmitter.DevicePath() + "\"")) << *first;
    reader.Write("ZERO\n");
    EXPECT_TRUE(ReadUntil(reader, R"("value":0,)", {R"("value":2.5,)"})) << reader.Errors();
}

TEST(ModbusRead, AnRtuTransmitterThatFallsSilentIsLostAndBackWithNothingMadeUp) {
    RtuTransmitter transmitter(2500);
    const std::string port = "modbus-rtu:" + transmitter.DevicePath();
    Child reader(ReaderArgs(port, {"--capture", "every"}));
    ASSERT_TRUE(ReadUntil(reader, R"("value":2.5,)", {})) << reader.Errors();
    transmitter.FallSilent();
    ASSERT_TRUE(reader.WaitForError(port + ": the device went away (")) << reader.Errors();
    transmitter.AnswerAgainWith(4000);
    ASSERT_TRUE(reader.WaitForError(port + ": back; reading again")) << reader.Errors();
    EXPECT_TRUE(ReadUntil(reader, R"("value":4,)", {R"("value":2.5,)"})) << reader.Errors();
}

TEST(ModbusRead, AServerKilledAndStartedAgainIsLostAndBackWithNothingMadeUp) {
    const int port = FreePort();
    const std::string url = "modbus-tcp://127.0.0.1:" + std::to_string(port);
    auto simulator = StartTransmitter(port, 1234);
    Child reader(ReaderArgs(url, {"--capture", "every"}));
    ASSERT_TRUE(ReadUntil(reader, R"("value":1.234,)", {})) << reader.Errors();
    simulator->Signal(SIGKILL);
    simulator->Wait();
    ASSERT_TRUE(reader.WaitForError(url + ": the device went away (")) << reader.Errors();
    simulator = StartTransmitter(port, 2000);
    ASSERT_TRUE(reader.WaitForError(url + ": back; reading again")) << reader.Errors();
    EXPECT_TRUE(ReadUntil(reader, R"("value":2,)", {R"("value":1.234,)"})) << reader.Errors();
}

TEST(ModbusRead, WhatIsWrittenWrongExits2AndWhatCannotBeReachedExits1) {
    const std::string closed = "modbus-tcp://127.0.0.1:" + std::to_string(FreePort());
    const int port = FreePort();
    const auto simulator = StartTransmitter(port, 1000);
    const std::string served = "modbus-tcp://127.0.0.1:" + std::to_string(port);
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string said;
    };
    const Case cases[] = {
        {{"--port", served}, 2, "say where its weight is with --modbus"},
        {{"--modbus", "weight=0"}, 2, "--modbus goes with --port modbus-tcp://"},
        {{"--port", "COM1", "--modbus", "weight=0"}, 2, "--modbus goes with --port"},
        {{"--port", served, "--modbus", "weight=0,colour=red"}, 2, "unknown key 'colour'"},
        {{"--port", served, "--modbus", "weight=0x10000"}, 2, "an address over 65535"},
        {{"--port", served, "--modbus", "weight=0,motion=1.16"}, 2, "a bit over 15"},
        {{"--port", "modbus-tcp://", "--modbus", "weight=0"}, 2, "modbus-tcp://HOST[:PORT]"},
        {{"--port", "modbus-rtu:COM99", "--modbus", "weight=0"}, 2, "COM1 to COM32"},
        {{"--port", served, "--modbus", "weight=0", "--protocol", "sics"}, 2, "no --protocol"},
        {{"--port", served, "--modbus", "weight=0", "--line", "9600"}, 2, "goes with modbus-rtu:"},
        {{"--port", closed, "--modbus", "weight=0"}, 1, "Connection refused"},
        {{"--port", "modbus-tcp://no-such-host.invalid", "--modbus", "weight=0"},
         1,
         "unknown host no-such-host.invalid"},
        {{"--port", served, "--modbus", "weight=0"}, 1, "unit 1 answered: Illegal data address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        std::vector<std::string> argv = {ReaderPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child reader(argv);
        EXPECT_EQ(reader.Wait(), c.exit);
        EXPECT_TRUE(Holds(reader.Errors(), c.said)) << reader.Errors();
    }
}

}  // namespace
}  // namespace readtest
