#include "tools/peers/ReaderPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace readtest {
namespace fs = std::filesystem;

std::string WriteIn(const TempDir& dir, const std::string& name, const std::string& text) {
    const std::string path = dir / name;
    testing_support::WriteFile(path, text);
    return path;
}

Child::Child(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    m_in = in[1];
    m_out = out[0];
    m_err = err[0];
}

Child::~Child() {
    if (m_pid > 0 && !m_status) {
        ::kill(m_pid, SIGKILL);
        Wait();
    }
    for (const int fd : {m_in, m_out, m_err}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool Child::Pump(Clock::duration wait) {
    std::array<pollfd, 2> fds{{{m_outUnread ? -1 : m_out, POLLIN, 0}, {m_err, POLLIN, 0}}};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count();
    if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(ms, 0))) <= 0)
        return false;
    bool any = false;
    std::array<char, 4096> buffer{};
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0 || fds[i].fd < 0)
            continue;
        const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
        if (n > 0) {
            (i == 0 ? m_outText : m_errText).append(buffer.data(), static_cast<std::size_t>(n));
            any = true;
        } else {
            ::close(fds[i].fd);
            (i == 0 ? m_out : m_err) = -1;
        }
    }
    return any || m_out >= 0 || m_err >= 0;
}

std::optional<std::string> Child::ReadLine(Clock::duration wait) {
    const auto deadline = Clock::now() + wait;
    while (true) {
        const std::size_t end = m_outText.find('\n');
        if (end != std::string::npos) {
            std::string line = m_outText.substr(0, end);
            m_outText.erase(0, end + 1);
            return line;
        }
        if (Clock::now() >= deadline || (m_out < 0 && m_err < 0))
            return std::nullopt;
        Pump(deadline - Clock::now());
    }
}

bool Child::WaitForError(std::string_view text, Clock::duration wait, std::size_t from) {
    const auto deadline = Clock::now() + wait;
    while (m_errText.find(text, from) == std::string::npos) {
        if (Clock::now() >= deadline || (m_out < 0 && m_err < 0))
            return false;
        Pump(deadline - Clock::now());
    }
    return true;
}

std::string Child::Errors() {
    while (Pump(std::chrono::milliseconds(0)) && (m_out >= 0 || m_err >= 0)) {
    }
    return m_errText;
}

void Child::Write(const std::string& text) {
    [[maybe_unused]] const ssize_t n = ::write(m_in, text.data(), text.size());
}

void Child::CloseInput() {
    ::close(m_in);
    m_in = -1;
}

void Child::Signal(int signal) {
    if (m_pid > 0 && !m_status)
        ::kill(m_pid, signal);
}

std::optional<int> Child::Wait(Clock::duration wait) {
    const auto deadline = Clock::now() + wait;
    while (!m_status && m_pid > 0) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (Clock::now() >= deadline)
            break;
        // Output keeps flowing meanwhile, so a child blocked on a full pipe can end.
        if (!Pump(std::chrono::milliseconds(20)))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_status;
}

namespace {

// Started as root, mosquitto would become user mosquitto and lose its own folder.
std::string UserName() {
    const passwd* user = ::getpwuid(::geteuid());
    return user ? user->pw_name : "root";
}

// The lowest port the kernel hands to outgoing connections: a port asked of it (bind to 0) comes
// from the same range, so a reader's own connection could take it between asking and listening.
int EphemeralLow() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    int low = 0;
    return range >> low && low > 11000 ? low : 0;
}

bool Binds(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

}  // namespace

int FreePort() {
    if (const int low = EphemeralLow(); low != 0) {
        // Below that range, from a place of this process's own so that tests run side by side
        // seldom ask the same one.
        static std::mutex lock;
        const std::lock_guard held(lock);
        static int next =
            10000 + static_cast<int>(static_cast<long long>(::getpid()) * 7919 % (low - 10000));
        for (int tried = 0; tried < low - 10000; ++tried) {
            const int port = next;
            next = next + 1 < low ? next + 1 : 10000;
            if (Binds(port))
                return port;
        }
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

Broker::Broker(std::string extra, std::string more) : m_port(FreePort()) {
    m_config = WriteIn(m_dir, "mosquitto.conf",
                       "user " + UserName() +
                           "\nper_listener_settings true\n"
                           "set_tcp_nodelay true\npersistence true\npersistence_location " +
                           m_dir.Path().string() +
                           "/\nlog_dest stderr\nlog_type error\n"
                           "log_type warning\nlog_type information\nlistener " +
                           std::to_string(m_port) + " 127.0.0.1\n" + extra + more);
}

bool Broker::Start() {
    m_process =
        std::make_unique<Child>(std::vector<std::string>{"/usr/sbin/mosquitto", "-c", m_config});
    return m_process->WaitForError(" running");
}

void Broker::Stop() {
    m_process->Signal(SIGTERM);
    m_process->Wait();
}

void Broker::Kill() {
    m_process->Signal(SIGKILL);
    m_process->Wait();
}

std::string Broker::Url(std::string_view scheme) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port);
}

Subscriber::Subscriber(int port, const std::string& filter, const std::string& clientId)
    : m_filter(filter) {
    mosquitto_lib_init();
    m_client = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), clientId.empty(), this);
    mosquitto_int_option(m_client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_client, OnConnect);
    mosquitto_message_callback_set(m_client, OnMessage);
    mosquitto_publish_callback_set(m_client, OnPublish);
    mosquitto_subscribe_callback_set(m_client, OnSubscribe);
    mosquitto_reconnect_delay_set(m_client, 1, 1, false);
    mosquitto_connect_async(m_client, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_client);
    std::unique_lock lock(m_lock);
    m_changed.wait_for(lock, kPatience, [&] { return m_subscribed; });
}

Subscriber::~Subscriber() {
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    mosquitto_destroy(m_client);
}

void Subscriber::OnConnect(mosquitto* client, void* self, int rc) {
    if (rc == 0)
        mosquitto_subscribe(client, nullptr, static_cast<Subscriber*>(self)->m_filter.c_str(), 1);
}

void Subscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* subscriber = static_cast<Subscriber*>(self);
    const std::lock_guard lock(subscriber->m_lock);
    subscriber->m_subscribed = true;
    subscriber->m_changed.notify_all();
}

void Subscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* subscriber = static_cast<Subscriber*>(self);
    const std::lock_guard lock(subscriber->m_lock);
    subscriber->m_messages.push_back({message->topic,
                                      std::string(static_cast<const char*>(message->payload),
                                                  static_cast<std::size_t>(message->payloadlen)),
                                      message->retain, Clock::now()});
    subscriber->m_changed.notify_all();
}

void Subscriber::OnPublish(mosquitto*, void* self, int mid) {
    auto* subscriber = static_cast<Subscriber*>(self);
    const std::lock_guard lock(subscriber->m_lock);
    subscriber->m_acked.push_back(mid);
    subscriber->m_changed.notify_all();
}

bool Subscriber::WaitFor(const std::function<bool(const std::vector<Message>&)>& done,
                         Clock::duration wait) {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, wait, [&] { return done(m_messages); });
}

std::vector<Message> Subscriber::Messages() {
    const std::lock_guard lock(m_lock);
    return m_messages;
}

std::vector<std::string> PayloadsOn(const std::vector<Message>& all, std::string_view topic) {
    std::vector<std::string> payloads;
    for (const Message& message : all) {
        if (message.topic == topic)
            payloads.push_back(message.payload);
    }
    return payloads;
}

std::vector<std::string> Subscriber::On(const std::string& topic) {
    return PayloadsOn(Messages(), topic);
}

bool Subscriber::Publish(const std::string& topic, const std::string& payload, bool retain) {
    int mid = 0;
    if (mosquitto_publish(m_client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, retain) != MOSQ_ERR_SUCCESS)
        return false;
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, kPatience, [&] {
        return std::find(m_acked.begin(), m_acked.end(), mid) != m_acked.end();
    });
}

}  // namespace readtest
