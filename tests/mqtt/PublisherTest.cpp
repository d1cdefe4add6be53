// The publisher's hooks run without its lock held: a hook that asks the publisher something,
// on the caller's thread or on the network thread, does not hang it.

#include "mqtt/MqttPublisher.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/UniqueFd.h"

namespace mqtt {
namespace {

constexpr auto kPatience = std::chrono::seconds(60);

// A loopback port that refuses connections: bound, never listening, held while the test runs.
struct RefusingPort {
    RefusingPort() : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    posix::UniqueFd fd;
    int port = 0;
};

// What the say hook heard, each message with what Dropped() answered inside the hook.
class Heard {
  public:
    void Add(std::string message) {
        const std::lock_guard lock(m_lock);
        m_messages.push_back(std::move(message));
        m_changed.notify_all();
    }
    // The first message that holds `part`, or empty when none came in time.
    std::string WaitFor(const std::string& part) {
        std::unique_lock lock(m_lock);
        std::string found;
        m_changed.wait_for(lock, kPatience, [&] {
            for (const std::string& message : m_messages) {
                if (message.find(part) != std::string::npos)
                    found = message;
            }
            return !found.empty();
        });
        return found;
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_messages;
};

TEST(MqttPublisher, AHookMayCallThePublisherFromEitherThread) {
    const RefusingPort refusing;
    ASSERT_NE(refusing.port, 0);
    MqttOptions options;
    options.url = "mqtt://127.0.0.1:" + std::to_string(refusing.port);
    options.host = "127.0.0.1";
    options.port = refusing.port;
    options.queueLimit = 1;

    Heard heard;
    std::unique_ptr<MqttPublisher> publisher;
    MqttPublisher::Hooks hooks;
    hooks.say = [&](const std::string& message) {
        heard.Add(message + " [" + std::to_string(publisher->Dropped()) + " dropped]");
    };
    publisher = std::make_unique<MqttPublisher>(options, "scale-1", std::move(hooks));
    std::string error;
    ASSERT_TRUE(publisher->Start(&error)) << error;

    // A hook that hangs leaves the publisher locked for good: it is then let go, not destroyed.
    struct Case {
        const char* thread;
        std::string part;
    };
    const Case cases[] = {
        {"network", "127.0.0.1:" + std::to_string(refusing.port)},
        {"caller", "the oldest are dropped from now on [1 dropped]"},
    };
    std::thread caller([&] {
        publisher->Publish("{\"n\":1}");
        publisher->Publish("{\"n\":2}");
    });
    bool hung = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.thread);
        const std::string message = heard.WaitFor(c.part);
        EXPECT_FALSE(message.empty()) << "nothing said, or the hook hangs";
        hung = hung || message.empty();
    }
    if (hung) {
        caller.detach();
        (void)publisher.release();
        return;
    }
    caller.join();
    publisher->Stop(std::chrono::milliseconds(0));
    EXPECT_FALSE(
        heard.WaitFor("1 readings were not acknowledged by the broker [1 dropped]").empty());
}

}  // namespace
}  // namespace mqtt
