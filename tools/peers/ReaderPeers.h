#pragma once

// What drives the reader from outside, in its tests and its benchmarks: child processes with
// piped streams, a private mosquitto on a free loopback port, and a subscriber made with the same
// client library the reader uses.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/peers/TestFiles.h"

struct mosquitto;
struct mosquitto_message;

namespace readtest {

using Clock = std::chrono::steady_clock;
inline constexpr auto kPatience = std::chrono::seconds(20);

using TempDir = testing_support::TempDir;
// Writes `text` to the file `name` in `dir`; its path.
std::string WriteIn(const TempDir& dir, const std::string& name, const std::string& text);

// A program started with its standard input, output and error on pipes; killed when destroyed
// if still running.
class Child {
  public:
    explicit Child(std::vector<std::string> argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // The next line of standard output, without its newline; nullopt at its end or after
    // `wait`.
    std::optional<std::string> ReadLine(Clock::duration wait = kPatience);
    // Waits until standard error holds `text` (at `from` or later); false after `wait`.
    bool WaitForError(std::string_view text, Clock::duration wait = kPatience,
                      std::size_t from = 0);
    std::string Errors();
    void Write(const std::string& text);
    void CloseInput();
    // From now on nothing reads its standard output: a full pipe stays full.
    void LeaveOutputUnread() { m_outUnread = true; }
    void Signal(int signal);
    // The exit status, or 128 + the signal that ended it; nullopt when it has not ended.
    std::optional<int> Wait(Clock::duration wait = kPatience);

  private:
    // Reads whatever waits on the pipes within `wait`; false when nothing came.
    bool Pump(Clock::duration wait);

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
    std::string m_outText, m_errText;
    bool m_outUnread = false;
    std::optional<int> m_status;
};

// mosquitto in the foreground on a free loopback port, with a configuration of its own.
class Broker {
  public:
    // `extra`: more configuration lines for the listener (appended after "listener PORT").
    explicit Broker(std::string extra = "allow_anonymous true\n", std::string more = "");
    // False when it did not start listening.
    bool Start();
    // Ends it as an operator does (SIGTERM), so it saves its persistent state.
    void Stop();
    void Kill();
    int Port() const { return m_port; }
    const TempDir& Dir() const { return m_dir; }
    std::string Url(std::string_view scheme = "mqtt") const;

  private:
    TempDir m_dir;
    int m_port;
    std::string m_config;
    std::unique_ptr<Child> m_process;
};

// A free TCP port on 127.0.0.1 at the moment of asking.
int FreePort();

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
    Clock::time_point arrived;
};

// A client that takes every message under `filter` (QoS 1), and can publish. With a client id it
// keeps a persistent session, so what arrives while it is away waits for it at the broker.
class Subscriber {
  public:
    Subscriber(int port, const std::string& filter, const std::string& clientId = "");
    ~Subscriber();
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // Waits until `done` holds for the messages so far; false after `wait`.
    bool WaitFor(const std::function<bool(const std::vector<Message>&)>& done,
                 Clock::duration wait = kPatience);
    std::vector<Message> Messages();
    // Publishes with QoS 1 and waits for the broker's acknowledgement.
    bool Publish(const std::string& topic, const std::string& payload, bool retain = false);
    // The payloads on `topic` so far, in order.
    std::vector<std::string> On(const std::string& topic);

  private:
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);

    std::string m_filter;
    mosquitto* m_client = nullptr;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Message> m_messages;
    bool m_subscribed = false;
    std::vector<int> m_acked;
};

// The payloads on `topic` among `all`, in order.
std::vector<std::string> PayloadsOn(const std::vector<Message>& all, std::string_view topic);

}  // namespace readtest
