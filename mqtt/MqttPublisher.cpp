#include "mqtt/MqttPublisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <utility>

#include "mqtt/Backoff.h"
#include "mqtt/KeyNames.h"
#include "platform/posix/SystemError.h"
#include "record/Escape.h"

namespace mqtt {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kQos = 1;
// Readings handed to the client and not yet acknowledged; the client holds no more, so the
// bound of the queue is the bound of what waits.
constexpr std::size_t kWindow = 64;
constexpr auto kFirstRetry = std::chrono::seconds(1);
constexpr auto kLongestRetry = std::chrono::seconds(60);
constexpr auto kLoopWait = std::chrono::milliseconds(1000);
constexpr std::size_t kLongestPassword = 4096;

void DestroyClient(mosquitto* client) {
    if (client)
        mosquitto_destroy(client);
}

// Once per process; libmosquitto's own cleanup is left to process exit.
void InitLibrary() {
    static const int once = mosquitto_lib_init();
    (void)once;
}

std::optional<std::string> ReadPassword(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read the password file " + path + ": " + posix::ErrnoText(errno);
        return std::nullopt;
    }
    std::string text(kLongestPassword + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.empty() || text.size() > kLongestPassword ||
        text.find_first_of("\n\r") != std::string::npos) {
        *error = "the password file " + path + " must hold one line of at most 4096 bytes";
        return std::nullopt;
    }
    return text;
}

// What the client library's `rc` means: an error of the system with its errno, else the
// library's own words.
posix::SystemError ClientError(int rc) {
    return rc == MOSQ_ERR_ERRNO ? posix::SystemError::FromErrno(errno)
                                : posix::SystemError::Because(mosquitto_strerror(rc));
}

// What a hostile payload looked like, safe to print.
std::string Shown(const void* payload, int length) {
    const auto* bytes = static_cast<const unsigned char*>(payload);
    std::string text;
    for (int i = 0; i < std::min(length, 32); ++i)
        text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '?';
    return length > 32 ? text + "..." : text;
}

}  // namespace

MqttPublisher::MqttPublisher(MqttOptions options, std::string scaleId, Hooks hooks)
    : m_options(std::move(options)),
      m_id(std::move(scaleId)),
      m_hooks(std::move(hooks)),
      m_client(nullptr, DestroyClient) {}

MqttPublisher::~MqttPublisher() {
    Stop(std::chrono::milliseconds(0));
}

std::string MqttPublisher::Topic(std::string_view leaf) const {
    return m_options.prefix + "/" + m_id + "/" + std::string(leaf);
}

std::string MqttPublisher::Where() const {
    return m_options.host + ":" + std::to_string(m_options.port);
}

bool MqttPublisher::Start(std::string* error) {
    InitLibrary();
    std::optional<std::string> password;
    if (!m_options.passwordFile.empty() &&
        !(password = ReadPassword(m_options.passwordFile, error)))
        return false;
    const std::string clientId = ClientId(m_options.prefix, m_id);
    m_client.reset(mosquitto_new(clientId.c_str(), false, this));
    if (!m_client) {
        *error = "cannot make an MQTT client: " + posix::ErrnoText(errno);
        return false;
    }
    mosquitto* client = m_client.get();
    mosquitto_threaded_set(client, true);
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_max_inflight_messages_set(client, kWindow + 4);
    const std::string availability = Topic("availability");
    int rc = mosquitto_will_set(client, availability.c_str(), 7, "offline", kQos, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_options.user.empty())
        rc = mosquitto_username_pw_set(client, m_options.user.c_str(),
                                       password ? password->c_str() : nullptr);
    if (rc == MOSQ_ERR_SUCCESS && m_options.tls) {
        rc = mosquitto_tls_set(
            client, m_options.caFile.empty() ? nullptr : m_options.caFile.c_str(),
            m_options.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = "cannot set up the MQTT client: " + ClientError(rc).Describe();
        return false;
    }
    mosquitto_connect_callback_set(client, OnConnect);
    mosquitto_disconnect_callback_set(client, OnDisconnect);
    mosquitto_publish_callback_set(client, OnPublish);
    mosquitto_message_callback_set(client, OnMessage);
    mosquitto_log_callback_set(client, OnLog);
    m_thread = std::thread(&MqttPublisher::Run, this);
    return true;
}

void MqttPublisher::Publish(std::string json) {
    std::unique_lock lock(m_lock);
    if (m_stopping)
        return;
    m_latest = json;
    m_latestPublished = false;
    if (m_queue.size() >= m_options.queueLimit) {
        m_queue.pop_front();
        if (m_dropped++ == m_droppedSaid)
            SayLater("mqtt: " + std::to_string(m_options.queueLimit) +
                     " readings wait for the broker: the oldest are dropped from now on");
    }
    m_queue.push_back(std::move(json));
    PumpLocked();
    Release(lock);
}

std::uint64_t MqttPublisher::Dropped() const {
    const std::lock_guard lock(m_lock);
    return m_dropped;
}

void MqttPublisher::WaitFor(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds limit,
                            const std::function<bool()>& done) {
    m_changed.wait_for(lock, limit, done);
}

std::size_t MqttPublisher::Stop(std::chrono::milliseconds drain) {
    if (!m_thread.joinable())
        return 0;
    std::unique_lock lock(m_lock);
    WaitFor(lock, drain, [&] { return m_queue.empty() && m_inFlight.empty(); });
    const std::size_t left = m_queue.size() + m_inFlight.size();
    m_stopping = true;
    if (left > 0)
        SayLater("mqtt: " + std::to_string(left) + " readings were not acknowledged by the broker");
    if (m_connected) {
        const std::string topic = Topic("availability");
        mosquitto_publish(m_client.get(), &m_offlineMid, topic.c_str(), 7, "offline", kQos, true);
        WaitFor(lock, std::chrono::seconds(2), [&] { return m_offlineMid < 0 || !m_connected; });
        mosquitto_disconnect(m_client.get());
    }
    Release(lock);
    m_changed.notify_all();
    m_thread.join();
    return left;
}

void MqttPublisher::Run() {
    Backoff backoff(kFirstRetry, kLongestRetry);
    while (true) {
        const int rc = RunConnection();
        std::unique_lock lock(m_lock);
        m_connected = false;
        // Not m_connected: the disconnect hook has cleared that already.
        const bool cameUp = std::exchange(m_cameUp, false);
        m_inFlight.clear();  // the client sends them again on the next connection
        if (m_stopping)
            return;
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_REFUSED)
            SayOnce(FailureText(rc));
        const std::chrono::milliseconds retry = backoff.After(cameUp);
        Release(lock);
        lock.lock();
        m_changed.wait_for(lock, retry, [&] { return m_stopping; });
        if (m_stopping)
            return;
    }
}

int MqttPublisher::RunConnection() {
    mosquitto* client = m_client.get();
    errno = 0;
    int rc =
        mosquitto_connect_async(client, m_options.host.c_str(), m_options.port, kKeepAliveSeconds);
    while (rc == MOSQ_ERR_SUCCESS) {
        errno = 0;
        rc = mosquitto_loop(client, static_cast<int>(kLoopWait.count()), 1);
        std::unique_lock lock(m_lock);
        if (m_justConnected) {
            // The client has queued again what it had not had acknowledged: new readings
            // follow them.
            m_justConnected = false;
            PumpLocked();
        }
        const bool ended = m_stopping && !m_connected;
        Release(lock);
        if (ended)
            break;
    }
    return rc;
}

std::string MqttPublisher::FailureText(int rc) {
    const std::string where = Where();
    switch (rc) {
        case MOSQ_ERR_ERRNO:
            return "mqtt: cannot reach the broker at " + where + ": " +
                   (errno != 0 ? posix::ErrnoText(errno) : "connection failed") + "; trying again";
        case MOSQ_ERR_EAI:
            return "mqtt: cannot find the broker's host " + m_options.host + "; trying again";
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE: {
            const std::string detail = m_lastLogError.empty() ? "" : " (" + m_lastLogError + ")";
            return "mqtt: TLS with " + where + " failed" + detail +
                   ": the broker's certificate is not signed by the authority in --mqtt-cafile, or "
                   "names another host; trying again";
        }
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
            return "mqtt: lost the broker at " + where +
                   "; readings wait in order until it is back";
        default:
            return "mqtt: " + where + ": " + ClientError(rc).Describe() + "; trying again";
    }
}

void MqttPublisher::OnConnect(mosquitto*, void* self, int rc) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (rc == 0) {
        publisher->Connected();
        return;
    }
    std::unique_lock lock(publisher->m_lock);
    std::string why = mosquitto_connack_string(rc);
    if (rc == 4 || rc == 5) {
        why = publisher->m_options.user.empty()
                  ? "it wants a user: give --mqtt-user and --mqtt-password-file"
                  : "wrong user name or password for '" + publisher->m_options.user + "'";
    }
    publisher->SayOnce("mqtt: the broker at " + publisher->Where() + " refused the login: " + why +
                       "; trying again");
    publisher->Release(lock);
}

void MqttPublisher::Connected() {
    mosquitto* client = m_client.get();
    if (m_options.keys) {
        const std::string keyTopic = Topic("key");
        mosquitto_subscribe(client, nullptr, keyTopic.c_str(), kQos);
    }
    PublishRetained(Topic("availability"), "online");
    std::unique_lock lock(m_lock);
    const std::string unit = m_unit;
    lock.unlock();
    if (m_options.discovery)
        PublishRetained("homeassistant/sensor/karvel_" + m_id + "/weight/config",
                        DiscoveryRecord(unit));
    lock.lock();
    if (!m_everConnected || !m_lastSaid.empty()) {
        const std::size_t waiting = m_queue.size();
        SayLater(
            "mqtt: connected to " + Where() +
            (waiting > 0 ? "; " + std::to_string(waiting) + " waiting readings go out now" : ""));
    }
    m_everConnected = true;
    m_lastSaid.clear();
    m_connected = true;
    m_cameUp = true;
    m_justConnected = true;
    m_changed.notify_all();
    Release(lock);
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    const std::lock_guard lock(publisher->m_lock);
    publisher->m_connected = false;
    publisher->m_changed.notify_all();
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    std::unique_lock lock(publisher->m_lock);
    if (mid == publisher->m_offlineMid)
        publisher->m_offlineMid = -1;
    if (publisher->m_inFlight.erase(mid) > 0)
        publisher->PumpLocked();
    publisher->m_changed.notify_all();
    publisher->Release(lock);
}

void MqttPublisher::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (!publisher->m_options.keys || message->topic != publisher->Topic("key"))
        return;
    const std::string_view text(static_cast<const char*>(message->payload),
                                static_cast<std::size_t>(std::max(message->payloadlen, 0)));
    const std::optional<std::uint8_t> key =
        message->payloadlen <= 64 ? KeyByte(text) : std::nullopt;
    if (!key) {
        publisher->Say("mqtt: ignored '" + Shown(message->payload, message->payloadlen) + "' on " +
                       message->topic + ": not DATA, MODE, TARE or ON/OFF [double]");
        return;
    }
    if (publisher->m_hooks.key)
        publisher->m_hooks.key(*key);
}

void MqttPublisher::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (level != MOSQ_LOG_ERR || text == nullptr)
        return;
    auto* publisher = static_cast<MqttPublisher*>(self);
    const std::lock_guard lock(publisher->m_lock);
    publisher->m_lastLogError = text;
}

void MqttPublisher::PumpLocked() {
    if (!m_connected || m_justConnected)
        return;
    mosquitto* client = m_client.get();
    const std::string topic = Topic("reading");
    while (!m_queue.empty() && m_inFlight.size() < kWindow) {
        const std::string& json = m_queue.front();
        int mid = 0;
        if (mosquitto_publish(client, &mid, topic.c_str(), static_cast<int>(json.size()),
                              json.data(), kQos, false) != MOSQ_ERR_SUCCESS)
            return;  // connection gone: it stays first in the queue
        m_inFlight.insert(mid);
        m_queue.pop_front();
    }
    if (m_queue.empty() && !m_latestPublished && !m_latest.empty()) {
        const std::string state = Topic("state");
        if (mosquitto_publish(client, nullptr, state.c_str(), static_cast<int>(m_latest.size()),
                              m_latest.data(), kQos, true) == MOSQ_ERR_SUCCESS)
            m_latestPublished = true;
    }
    if (m_dropped != m_droppedSaid) {
        SayLater("mqtt: the queue of " + std::to_string(m_options.queueLimit) +
                 " readings overflowed while the broker was away: " +
                 std::to_string(m_dropped - m_droppedSaid) + " oldest readings dropped");
        m_droppedSaid = m_dropped;
    }
}

void MqttPublisher::PublishRetained(const std::string& topic, const std::string& payload) {
    mosquitto_publish(m_client.get(), nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), kQos, true);
}

void MqttPublisher::SetUnit(std::string unit) {
    std::unique_lock lock(m_lock);
    if (unit.empty() || unit == m_unit)
        return;
    m_unit = std::move(unit);
    const std::string now = m_unit;
    const bool publish = m_connected && m_options.discovery;
    lock.unlock();
    if (publish)
        PublishRetained("homeassistant/sensor/karvel_" + m_id + "/weight/config",
                        DiscoveryRecord(now));
}

std::string MqttPublisher::DiscoveryRecord(const std::string& unit) const {
    const std::string node = "karvel_" + m_id;
    return "{\"name\":\"Weight\",\"unique_id\":" + record::JsonString(node + "_weight") +
           ",\"state_topic\":" + record::JsonString(Topic("state")) +
           ",\"value_template\":\"{{ value_json.value }}\",\"unit_of_measurement\":" +
           record::JsonString(unit) +
           ",\"device_class\":\"weight\",\"state_class\":\"measurement\""
           ",\"availability_topic\":" +
           record::JsonString(Topic("availability")) +
           ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\""
           ",\"device\":{\"identifiers\":[" +
           record::JsonString(node) + "],\"name\":" + record::JsonString("Scale " + m_id) +
           ",\"manufacturer\":\"Karvel\"}}";
}

void MqttPublisher::Say(const std::string& message) {
    if (m_hooks.say)
        m_hooks.say(message);
}

void MqttPublisher::SayLater(std::string message) {
    m_unsaid.push_back(std::move(message));
}

void MqttPublisher::SayOnce(const std::string& message) {
    if (message == m_lastSaid)
        return;
    m_lastSaid = message;
    SayLater(message);
}

void MqttPublisher::Release(std::unique_lock<std::mutex>& lock) {
    std::vector<std::string> messages = std::exchange(m_unsaid, {});
    lock.unlock();
    for (const std::string& message : messages)
        Say(message);
}

}  // namespace mqtt
