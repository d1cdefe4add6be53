// karvel-read against a private mosquitto: what arrives, what survives the broker going away,
// and what is refused.

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/read/CountFrame.h"
#include "tests/read/ReadTestSupport.h"
#include "tools/peers/PortDirectory.h"

namespace readtest {
namespace {

constexpr std::string_view kReading = "karvel/s1/reading";

// The values that arrived, for a failure's message.
std::string Values(const std::vector<Message>& all) {
    std::string text = "arrived:";
    for (const Message& message : all)
        text += " " + std::to_string(ValueOf(message.payload));
    return text;
}

class ReaderOnBroker : public testing::Test {
  protected:
    void SetUp() override {
        m_ports.Map(1, m_scale.DevicePath());
        ::setenv("KARVEL_PORT_DIR", m_ports.Path().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("KARVEL_PORT_DIR"); }

    std::unique_ptr<Child> StartReader(const Broker& broker, std::vector<std::string> more = {},
                                       std::string_view scheme = "mqtt") {
        std::vector<std::string> argv{ReaderPath(), "--port", "COM1",
                                      "--id",       "s1",     "--capture",
                                      "every",      "--mqtt", broker.Url(scheme)};
        argv.insert(argv.end(), more.begin(), more.end());
        return std::make_unique<Child>(argv);
    }
    void Send(int from, int to) {
        for (int n = from; n < to; ++n)
            m_scale.Send(CountFrame(n));
    }
    static bool Online(Subscriber& subscriber) {
        // The latest word on availability; other retained records (discovery) may follow it.
        return subscriber.WaitFor([](const std::vector<Message>& all) {
            const auto last = std::find_if(all.rbegin(), all.rend(), [](const Message& m) {
                return m.topic == "karvel/s1/availability";
            });
            return last != all.rend() && last->payload == "online";
        });
    }

    testing_support::PortDirectory m_ports;
    testing_support::PtyPeer m_scale{testing_support::PtyPeer::Role::Scale};
};

TEST_F(ReaderOnBroker, ReadingsArriveWithTheirFieldsStateAndAvailability) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "#");
    auto reader = StartReader(broker, {"--mqtt-discovery"});
    ASSERT_TRUE(Online(subscriber));
    Send(1, 4);
    ASSERT_TRUE(subscriber.WaitFor(
        [](const std::vector<Message>& all) { return PayloadsOn(all, kReading).size() == 3; }));
    const std::string first = subscriber.On(std::string(kReading))[0];
    std::size_t last = 0;
    for (const char* field :
         {"time", "scale", "port", "device", "reading", "text", "value", "unit", "stable", "net",
          "zero", "hold", "overload", "battery_low", "bars", "capture", "frame"}) {
        const std::size_t at = first.find("\"" + std::string(field) + "\":");
        ASSERT_NE(at, std::string::npos) << field << " in " << first;
        EXPECT_GT(at + 1, last) << field << " out of order in " << first;
        last = at + 1;
    }
    EXPECT_NE(first.find("\"scale\":\"s1\""), std::string::npos);
    EXPECT_NE(first.find("\"frame\":\"06aa0100"), std::string::npos);
    EXPECT_EQ(ValueOf(first), 1);
    ASSERT_TRUE(subscriber.WaitFor([](const std::vector<Message>& all) {
        const auto states = PayloadsOn(all, "karvel/s1/state");
        return !states.empty() && ValueOf(states.back()) == 3;
    }));
    EXPECT_EQ(subscriber.On("homeassistant/sensor/karvel_s1/weight/config").size(), 1u);

    // A subscriber that comes later finds the latest state and availability kept.
    Subscriber later(broker.Port(), "karvel/s1/+");
    ASSERT_TRUE(later.WaitFor([](const std::vector<Message>& all) { return all.size() >= 2; }));
    for (const Message& message : later.Messages())
        EXPECT_TRUE(message.retained) << message.topic;

    reader->Signal(SIGTERM);
    EXPECT_EQ(reader->Wait(), 0);
    EXPECT_TRUE(subscriber.WaitFor([](const std::vector<Message>& all) {
        return all.back().topic == "karvel/s1/availability" && all.back().payload == "offline";
    }));
}

TEST_F(ReaderOnBroker, DiscoveryFollowsTheUnitAndMapsTheId) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "homeassistant/#");
    std::vector<std::string> argv{ReaderPath(),  "--port",          "COM1",  "--id",
                                  "lab.scale.2", "--capture",       "every", "--mqtt",
                                  broker.Url(),  "--mqtt-discovery"};
    Child reader(argv);
    ASSERT_TRUE(reader.WaitForError("connected")) << reader.Errors();
    const std::string topic = "homeassistant/sensor/karvel_lab_scale_2_";
    const auto units = [&](const std::vector<Message>& all) {
        std::string seen;
        for (const Message& message : all) {
            if (message.topic.starts_with(topic) && message.retained == false) {
                const std::size_t at = message.payload.find("\"unit_of_measurement\":\"");
                seen += message.payload.substr(at + 23, 2) + " ";
            }
        }
        return seen;
    };
    m_scale.Send(CountFrame(1));
    m_scale.Send(CountFrame(2));
    ASSERT_TRUE(subscriber.WaitFor([&](const auto& all) { return units(all) == "kg "; }));
    m_scale.Send(CountFrame(3, 0x02));  // after MODE: lb
    EXPECT_TRUE(subscriber.WaitFor([&](const auto& all) { return units(all) == "kg lb "; }))
        << units(subscriber.Messages());
    // The record is kept for Home Assistant's next start, with the unit shown last.
    Subscriber later(broker.Port(), "homeassistant/#");
    ASSERT_TRUE(later.WaitFor([](const auto& all) { return !all.empty(); }));
    const Message kept = later.Messages()[0];
    EXPECT_TRUE(kept.retained);
    EXPECT_TRUE(kept.topic.starts_with(topic) && kept.topic.ends_with("/weight/config"))
        << kept.topic;
    EXPECT_NE(kept.payload.find("\"unit_of_measurement\":\"lb\""), std::string::npos);
}

TEST_F(ReaderOnBroker, AFrameInTheSameBurstAsTheProbesAnswerIsPublished) {
    std::vector<std::uint8_t> answer{0x06, 0xAA};
    const std::vector<std::uint8_t> frame = CountFrame(7);
    answer.insert(answer.end(), frame.begin(), frame.end());
    testing_support::PtyPeer quick(answer);
    m_ports.Map(1, quick.DevicePath());
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), std::string(kReading));
    auto reader = StartReader(broker);
    ASSERT_TRUE(subscriber.WaitFor([](const std::vector<Message>& all) { return !all.empty(); }))
        << reader->Errors();
    EXPECT_EQ(ValueOf(subscriber.Messages()[0].payload), 7);
}

TEST_F(ReaderOnBroker, ReadingsTheBrokerNeverTookMakeTheRunFail) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    auto reader = StartReader(broker, {"--count", "2"});
    ASSERT_TRUE(reader->WaitForError("connected"));
    broker.Stop();
    ASSERT_TRUE(reader->WaitForError("lost the broker"));
    Send(0, 2);
    EXPECT_EQ(reader->Wait(), 3);
    EXPECT_NE(reader->Errors().find("2 readings were not acknowledged"), std::string::npos)
        << reader->Errors();
}

TEST_F(ReaderOnBroker, BrokerGoingAwayMidStreamLosesNothingAndKeepsTheOrder) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    auto subscriber = std::make_unique<Subscriber>(broker.Port(), std::string(kReading), "watcher");
    auto reader = StartReader(broker);
    ASSERT_TRUE(reader->WaitForError("connected"));
    Send(0, 100);
    broker.Stop();  // while those are on their way
    Send(100, 150);
    ASSERT_TRUE(reader->WaitForError("lost the broker"));
    ASSERT_TRUE(broker.Start());
    Send(150, 200);
    // A resumed subscription may hold its last message until another comes (mosquitto 2.0,
    // seen under TSan while the reader had delivered everything): frames past the checked ones
    // move it on.
    const auto arrived199 = [](const std::vector<Message>& all) {
        return std::any_of(all.begin(), all.end(),
                           [](const Message& m) { return ValueOf(m.payload) == 199; });
    };
    // The reader's reconnection backs off (1, 2, 4 ... s): slow builds may need half a minute.
    for (int extra = 200; extra < 300 && !subscriber->WaitFor(arrived199, std::chrono::seconds(1));
         ++extra)
        Send(extra, extra + 1);
    ASSERT_TRUE(subscriber->WaitFor(arrived199))
        << reader->Errors() << Values(subscriber->Messages());
    // At least once, in order: a reading sent again after a reconnection may come twice.
    int next = 0;
    for (const std::string& payload : subscriber->On(std::string(kReading))) {
        const int value = ValueOf(payload);
        if (value >= 200)
            continue;
        if (value == next)
            ++next;
        else
            EXPECT_LT(value, next) << "reading " << next << " missing or out of order";
    }
    EXPECT_EQ(next, 200);
}

TEST_F(ReaderOnBroker, RefusedNamesAndMissingPortsEndWithTheirStatus) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{"--id", "bench/1", "--mqtt", broker.Url()}, 2, "--id may hold only"},
        {{"--mqtt", broker.Url() + "/plant/+"}, 2, "holds '+' or '#'"},
        {{"--mqtt", broker.Url() + "//x"}, 2, "empty level"},
        {{"--port", "COM9", "--mqtt", broker.Url()}, 1, "cannot open COM9"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{ReaderPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child reader(argv);
        EXPECT_EQ(reader.Wait(), c.status) << c.says;
        EXPECT_NE(reader.Errors().find(c.says), std::string::npos) << reader.Errors();
    }
}

TEST_F(ReaderOnBroker, KilledReaderIsShownOffline) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "karvel/s1/availability");
    auto reader = StartReader(broker);
    ASSERT_TRUE(Online(subscriber));
    reader->Signal(SIGKILL);
    EXPECT_TRUE(subscriber.WaitFor(
        [](const std::vector<Message>& all) { return all.back().payload == "offline"; }));
}

TEST_F(ReaderOnBroker, RemoteKeysOnlyWhenAskedFor) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "karvel/#");
    {
        auto reader = StartReader(broker, {"--keys"});
        ASSERT_TRUE(Online(subscriber));
        m_scale.ClearReceived();
        ASSERT_TRUE(subscriber.Publish("karvel/s1/key", "TARE"));
        // Seen by this client, so the broker has passed it on to every subscriber.
        ASSERT_TRUE(subscriber.WaitFor(
            [](const std::vector<Message>& all) { return all.back().topic == "karvel/s1/key"; }));
        reader->Write("MODE\n");
        ASSERT_TRUE(m_scale.WaitForBytes(1));
        EXPECT_EQ(m_scale.Received(), std::vector<std::uint8_t>{'M'});
    }
    auto reader = StartReader(broker, {"--mqtt-keys"});
    ASSERT_TRUE(reader->WaitForError("connected"));
    ASSERT_TRUE(Online(subscriber));
    m_scale.ClearReceived();
    ASSERT_TRUE(subscriber.Publish("karvel/s1/key", "rm -rf /\x01"));
    ASSERT_TRUE(reader->WaitForError("ignored 'rm -rf /?'"));
    ASSERT_TRUE(subscriber.Publish("karvel/s1/key", "TARE double"));
    ASSERT_TRUE(m_scale.WaitForBytes(1));
    EXPECT_EQ(m_scale.Received(), std::vector<std::uint8_t>{0xD4});
}

TEST_F(ReaderOnBroker, OnlyKeysSentWhileTheReaderListensArePressed) {
    // A broker that keeps QoS 0 messages for an absent session too delivers the backlog on
    // connecting, before the key subscription is acknowledged.
    const struct {
        const char* broker;
        const char* says;
    } cases[] = {
        {"", "taking keys on karvel/s1/key"},
        {"queue_qos0_messages true\n", "dropped 5 keys that were sent while the reader was away"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.broker);
        Broker broker("allow_anonymous true\n", c.broker);
        ASSERT_TRUE(broker.Start());
        Subscriber sender(broker.Port(), "karvel/s1/none");
        ASSERT_TRUE(sender.Publish("karvel/s1/key", "TARE", true));
        {
            auto first = StartReader(broker, {"--mqtt-keys"});
            ASSERT_TRUE(first->WaitForError("ignored a retained key on karvel/s1/key"))
                << first->Errors();
            first->Signal(SIGTERM);
            ASSERT_EQ(first->Wait(), 0);
        }
        for (int n = 0; n < 5; ++n)
            ASSERT_TRUE(sender.Publish("karvel/s1/key", "TARE"));
        auto reader = StartReader(broker, {"--mqtt-keys"});
        // The probe is over before the broker is reached.
        ASSERT_TRUE(reader->WaitForError("reading COM1")) << reader->Errors();
        m_scale.ClearReceived();
        ASSERT_TRUE(reader->WaitForError("taking keys on karvel/s1/key")) << reader->Errors();
        ASSERT_TRUE(reader->WaitForError(c.says)) << reader->Errors();
        ASSERT_TRUE(sender.Publish("karvel/s1/key", "MODE"));
        ASSERT_TRUE(m_scale.WaitForBytes(1));
        // Stale keys would have come first, in order.
        EXPECT_EQ(m_scale.Received(), std::vector<std::uint8_t>{'M'}) << reader->Errors();
    }
}

TEST_F(ReaderOnBroker, AFloodOfBadKeysIsCountedNotPrinted) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber sender(broker.Port(), "karvel/s1/none");
    auto reader = StartReader(broker, {"--mqtt-keys"});
    ASSERT_TRUE(reader->WaitForError("taking keys on karvel/s1/key"));
    constexpr int kBad = 300;
    for (int n = 0; n < kBad; ++n)
        ASSERT_TRUE(sender.Publish("karvel/s1/key", "bad " + std::to_string(n)));
    m_scale.ClearReceived();
    ASSERT_TRUE(sender.Publish("karvel/s1/key", "DATA"));
    ASSERT_TRUE(m_scale.WaitForBytes(1));
    reader->Signal(SIGTERM);
    ASSERT_EQ(reader->Wait(), 0);
    const std::string errors = reader->Errors();
    std::size_t shown = 0;
    for (std::size_t at = errors.find("ignored 'bad "); at != std::string::npos;
         at = errors.find("ignored 'bad ", at + 1))
        ++shown;
    EXPECT_GE(shown, 1u);
    EXPECT_LE(shown, static_cast<std::size_t>(kBad / 10)) << errors;
    // What was not shown is counted, each bad key once: shown plus held make all of them.
    std::size_t held = 0;
    for (std::size_t at = errors.find(" more bad keys were ignored and not shown");
         at != std::string::npos; at = errors.find(" more bad keys", at + 1)) {
        const std::size_t start = errors.rfind("mqtt: ", at) + 6;
        held += std::stoul(errors.substr(start, at - start));
    }
    EXPECT_EQ(shown + held, static_cast<std::size_t>(kBad)) << errors;
}

TEST_F(ReaderOnBroker, MistakenOptionsAndPasswordFilesSayWhatIsWrong) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    TempDir files;
    const std::string dir = files.Path().string();
    const auto secret = [&](const std::string& name, const std::string& text, mode_t mode) {
        const std::string path = WriteIn(files, name, text);
        ::chmod(path.c_str(), mode);
        return path;
    };
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = dir + "/link";
    ASSERT_EQ(::symlink(secret("target", "pw\n", 0600).c_str(), link.c_str()), 0);
    const std::string host = "127.0.0.1:" + std::to_string(broker.Port());
    const auto withPassword = [&](const std::string& file) {
        return std::vector<std::string>{"--mqtt",  broker.Url(),           "--mqtt-user",
                                        "weigher", "--mqtt-password-file", file};
    };
    const struct {
        std::vector<std::string> args;
        int status;  // 0: it runs, and is ended here
        std::string says;
    } cases[] = {
        {{"--mqtt", broker.Url() + "/$SYS/scales"}, 2, "starts with '$'"},
        {{"--mqtt", broker.Url() + "/plant\x7f"}, 2, "is not UTF-8 text without control"},
        {{"--mqtt", broker.Url() + "/plant\xff"}, 2, "is not UTF-8 text without control"},
        {{"--mqtt", "mqtt://weigher:secret@" + host},
         2,
         "a user or password does not go in the URL: use --mqtt-user"},
        {{"--mqtt", "mqtts://" + host, "--mqtt-cafile", dir + "/none.pem"},
         2,
         "cannot read --mqtt-cafile " + dir + "/none.pem: No such file or directory"},
        {{"--mqtt", "mqtts://" + host, "--mqtt-cafile", secret("text.pem", "no PEM\n", 0644)},
         2,
         "cannot use --mqtt-cafile " + dir + "/text.pem: it holds no certificate in PEM"},
        {withPassword(secret("two", "first\nsecond\n", 0600)), 0, "connected to " + host},
        {withPassword(secret("empty", "\nsecond\n", 0600)), 2, "has an empty first line"},
        {withPassword(secret("nul", std::string("ab\0cd\n", 6), 0600)), 2, "holds a NUL byte"},
        {withPassword(fifo), 2, "not a regular file"},
        {withPassword(link), 2, "is a symbolic link"},
        {withPassword(secret("open", "pw\n", 0644)), 0,
         "may be read by other users (mode 0644): chmod o= it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        auto reader = StartReader(broker, c.args);
        // The fixture's own --mqtt comes first; the case's later one is the one taken.
        if (c.status == 0) {
            EXPECT_TRUE(reader->WaitForError(c.says)) << reader->Errors();
            EXPECT_TRUE(reader->WaitForError("connected to ")) << reader->Errors();
            reader->Signal(SIGTERM);
        } else {
            EXPECT_TRUE(reader->WaitForError(c.says)) << reader->Errors();
        }
        EXPECT_EQ(reader->Wait(), c.status) << reader->Errors();
    }
}

TEST_F(ReaderOnBroker, WrongPasswordIsSaidAndRetried) {
    TempDir secrets;
    const std::string users = WriteIn(secrets, "users", "");
    ASSERT_EQ(std::system(("mosquitto_passwd -b " + users + " weigher right-one").c_str()), 0);
    Broker broker("allow_anonymous false\npassword_file " + users + "\n");
    ASSERT_TRUE(broker.Start());
    const std::string wrong = WriteIn(secrets, "wrong", "not-it\n");
    auto reader = StartReader(broker, {"--mqtt-user", "weigher", "--mqtt-password-file", wrong});
    EXPECT_TRUE(reader->WaitForError(
        "refused the login: wrong user name or password for 'weigher'; trying again"))
        << reader->Errors();
    EXPECT_FALSE(reader->Wait(std::chrono::milliseconds(0))) << "it goes on trying";
    reader.reset();  // it holds the port

    const std::string right = WriteIn(secrets, "right", "right-one\n");
    auto good = StartReader(broker, {"--mqtt-user", "weigher", "--mqtt-password-file", right});
    EXPECT_TRUE(good->WaitForError("connected"));
}

// In `dir`: the tests' own authority (ca.pem) and the broker's certificate from it for
// 127.0.0.1 (server.pem, server.key), the same key's certificate that expired in 2020
// (expired.pem), and another authority (other.pem).
bool MakeTestPki(const std::string& dir) {
    const std::string make =
        "cd " + dir +
        " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
        "-subj /CN=test-ca 2>/dev/null"
        " && openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr "
        "-subj /CN=127.0.0.1 2>/dev/null"
        " && printf 'subjectAltName=IP:127.0.0.1\\n' > san"
        " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
        "-out server.pem -days 2 -extfile san 2>/dev/null"
        " && printf '[ca]\\ndefault_ca=c\\n[c]\\ndatabase=index\\nnew_certs_dir=.\\n"
        "serial=serial\\ndefault_md=sha256\\npolicy=p\\n[p]\\ncommonName=supplied\\n' > ca.cnf"
        " && touch index && echo 01 > serial"
        " && openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in server.csr "
        "-out expired.pem -startdate 20200101000000Z -enddate 20200102000000Z -extfile san "
        ">/dev/null 2>&1"
        " && openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.pem "
        "-days 2 -subj /CN=other-ca 2>/dev/null";
    return std::system(make.c_str()) == 0;
}

// A TLS listener with `certificate` (a file in `dir`), and a plain one on `plain`.
std::unique_ptr<Broker> TlsBroker(const std::string& dir, const std::string& certificate,
                                  int plain) {
    return std::make_unique<Broker>(
        "allow_anonymous true\ncafile " + dir + "/ca.pem\ncertfile " + dir + "/" + certificate +
            "\nkeyfile " + dir + "/server.key\n",
        "listener " + std::to_string(plain) + " 127.0.0.1\nallow_anonymous true\n");
}

TEST_F(ReaderOnBroker, TlsWithTheTestsOwnAuthorityAndABadCertificate) {
    TempDir pki;
    const std::string d = pki.Path().string();
    ASSERT_TRUE(MakeTestPki(d));
    const int plain = FreePort();
    const std::unique_ptr<Broker> tls = TlsBroker(d, "server.pem", plain);
    Broker& broker = *tls;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(plain, std::string(kReading));

    auto stranger = StartReader(broker, {"--mqtt-cafile", d + "/other.pem"}, "mqtts");
    EXPECT_TRUE(
        stranger->WaitForError("TLS with 127.0.0.1:" + std::to_string(broker.Port()) + " failed"));
    stranger.reset();  // it holds the port

    // The certificate names 127.0.0.1 alone.
    auto misnamed = StartReader(broker,
                                {"--mqtt", "mqtts://localhost:" + std::to_string(broker.Port()),
                                 "--mqtt-cafile", d + "/ca.pem"},
                                "mqtts");
    EXPECT_TRUE(
        misnamed->WaitForError("the broker's certificate names another host than localhost"))
        << misnamed->Errors();
    misnamed.reset();

    auto reader = StartReader(broker, {"--mqtt-cafile", d + "/ca.pem"}, "mqtts");
    ASSERT_TRUE(reader->WaitForError("connected")) << reader->Errors();
    Send(7, 8);
    EXPECT_TRUE(subscriber.WaitFor([](const std::vector<Message>& all) {
        return !all.empty() && ValueOf(all[0].payload) == 7;
    }));
}

TEST_F(ReaderOnBroker, TlsFailuresSayTheirCause) {
    TempDir pki;
    const std::string d = pki.Path().string();
    ASSERT_TRUE(MakeTestPki(d));
    const int plain = FreePort();
    const std::unique_ptr<Broker> expired = TlsBroker(d, "expired.pem", plain);
    ASSERT_TRUE(expired->Start());
    const std::string tlsPort = "127.0.0.1:" + std::to_string(expired->Port());
    const std::string plainUrl = "mqtts://127.0.0.1:" + std::to_string(plain);
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--mqtt", plainUrl, "--mqtt-cafile", d + "/ca.pem"},
         "the broker did not speak TLS (a plain MQTT port?)"},
        {{"--mqtt", plainUrl}, "the broker did not speak TLS"},
        {{"--mqtt-cafile", d + "/ca.pem"},
         "TLS with " + tlsPort + " failed: the broker's certificate has expired"},
        {{"--mqtt-cafile", d + "/other.pem"},
         "TLS with " + tlsPort +
             " failed: the broker's certificate is not signed by the "
             "authority in --mqtt-cafile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        auto reader = StartReader(*expired, c.args, "mqtts");
        EXPECT_TRUE(reader->WaitForError(c.says)) << reader->Errors();
        // Nothing but the reader's own messages, whatever the handshake went through.
        std::istringstream said(reader->Errors());
        for (std::string line; std::getline(said, line);)
            EXPECT_EQ(line.rfind("karvel-read: ", 0), 0u) << line;
    }
}

}  // namespace
}  // namespace readtest
