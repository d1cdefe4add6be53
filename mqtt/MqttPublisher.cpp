#include "mqtt/MqttPublisher.h"

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "mqtt/Backoff.h"
#include "mqtt/Discovery.h"
#include "mqtt/Secrets.h"
#include "platform/posix/Printable.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/TrustedFile.h"
#include "scale/KeyNames.h"

namespace mqtt {
namespace {

std::string LostText(const std::string& where) {
    return "mqtt: lost the broker at " + where + "; readings wait in order until it is back";
}

constexpr int kKeepAliveSeconds = 30;
constexpr int kQos = 1;
// Readings handed to the client and not yet acknowledged; the client holds no more, so the
// bound of the queue is the bound of what waits.
constexpr std::size_t kWindow = 64;
constexpr auto kFirstRetry = std::chrono::seconds(1);
constexpr auto kLongestRetry = std::chrono::seconds(60);
constexpr auto kLoopWait = std::chrono::milliseconds(1000);
// Bad keys said in full per period; the rest are counted.
constexpr std::uint64_t kBadKeysShown = 5;
constexpr auto kBadKeyPeriod = std::chrono::seconds(10);

void DestroyClient(mosquitto* client) {
    if (client)
        mosquitto_destroy(client);
}

// Once per process; libmosquitto's own cleanup is left to process exit.
void InitLibrary() {
    static const int once = mosquitto_lib_init();
    (void)once;
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

// The state while the port is lost: the last reading with one field added, so a subscriber that
// knows only readings reads it as before; added before the family's name, which stays the last.
std::string WithPortLost(const std::string& json) {
    if (json.size() < 3 || json.back() != '}')
        return json;
    const std::size_t family = json.rfind(",\"protocol\":");
    const std::size_t at = family == std::string::npos ? json.size() - 1 : family;
    return json.substr(0, at) + ",\"port_lost\":true" + json.substr(at);
}

}  // namespace

// What a TLS handshake got to, seen through the context's info callback. The context is ours,
// settings and all, so that the callback is in place before the client's first handshake step,
// which may already meet the broker's certificate inside the connect call. The callback runs on
// the network thread, which alone reads this.
struct MqttPublisher::Tls {
    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> context{nullptr, SSL_CTX_free};
    bool started = false;      // a ClientHello went out
    bool serverSpoke = false;  // the broker answered it in TLS
    long verifyError = X509_V_OK;

    // A context that trusts `caFile` (else the system's authorities) and checks that the
    // broker's certificate names `host`.
    bool Make(const std::string& caFile, const std::string& host, std::string* error) {
        context.reset(SSL_CTX_new(TLS_client_method()));
        SSL_CTX* ctx = context.get();
        if (!ctx || SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1) {
            *error = "cannot make a TLS context for MQTT";
            return false;
        }
        const int loaded = caFile.empty()
                               ? SSL_CTX_load_verify_locations(ctx, nullptr, "/etc/ssl/certs")
                               : SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr);
        if (loaded != 1) {
            *error = caFile.empty() ? "cannot read the system's authorities in /etc/ssl/certs"
                                    : "cannot use --mqtt-cafile " + posix::Printable(caFile) +
                                          ": it holds no certificate in PEM";
            return false;
        }
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);  // idle between readings
        X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1)
            X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
        SSL_CTX_set_app_data(ctx, this);
        SSL_CTX_set_info_callback(ctx, OnInfo);
        return true;
    }

    // Before each connection: nothing seen of it yet.
    void Begin() {
        started = false;
        serverSpoke = false;
        verifyError = X509_V_OK;
    }

    static void OnInfo(const SSL* ssl, int where, int) {
        auto* tls = static_cast<Tls*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
        tls->started = true;
        const OSSL_HANDSHAKE_STATE state = SSL_get_state(ssl);
        tls->serverSpoke =
            tls->serverSpoke || (state != TLS_ST_CW_CLNT_HELLO && state != TLS_ST_BEFORE);
        // A refused certificate ends the handshake, but the alert that says so may never be
        // written (the peer gone first): the verdict is kept at whatever step comes next.
        if ((where & (SSL_CB_ALERT | SSL_CB_EXIT)) != 0) {
            const long verdict = SSL_get_verify_result(ssl);
            if (verdict != X509_V_OK)
                tls->verifyError = verdict;
        }
    }
};

MqttPublisher::MqttPublisher(MqttOptions options, std::string scaleId, Hooks hooks)
    : m_options(std::move(options)),
      m_id(std::move(scaleId)),
      m_hooks(std::move(hooks)),
      m_client(nullptr, DestroyClient),
      m_badKeys(kBadKeysShown, kBadKeyPeriod) {}

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
    std::string warning;
    if (!m_options.passwordFile.empty() &&
        !(password = ReadPassword(m_options.passwordFile, error, &warning)))
        return false;
    if (!warning.empty())
        Say(warning);
    if (!m_options.caFile.empty()) {
        if (const auto why = UnreadableFile(m_options.caFile)) {
            *error =
                "cannot read --mqtt-cafile " + posix::Printable(m_options.caFile) + ": " + *why;
            return false;
        }
    }
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
        m_tls = std::make_unique<Tls>();
        if (!m_tls->Make(m_options.caFile, m_options.host, error))
            return false;
        mosquitto_int_option(client, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        rc = mosquitto_void_option(client, MOSQ_OPT_SSL_CTX, m_tls->context.get());
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = "cannot set up the MQTT client: " + ClientError(rc).Describe();
        return false;
    }
    mosquitto_connect_callback_set(client, OnConnect);
    mosquitto_disconnect_callback_set(client, OnDisconnect);
    mosquitto_publish_callback_set(client, OnPublish);
    mosquitto_message_callback_set(client, OnMessage);
    mosquitto_subscribe_callback_set(client, OnSubscribe);
    mosquitto_log_callback_set(client, OnLog);
    m_thread = std::thread(&MqttPublisher::Run, this);
    return true;
}

void MqttPublisher::Publish(std::string json, std::string_view unit) {
    std::unique_lock lock(m_lock);
    if (m_stopping)
        return;
    if (!unit.empty() && unit != m_unit) {
        m_unit = std::string(unit);
        PublishDiscoveryLocked();
    }
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

void MqttPublisher::PortLost(bool lost) {
    std::unique_lock lock(m_lock);
    if (m_stopping || m_portLost == lost)
        return;
    m_portLost = lost;
    m_latestPublished = m_latest.empty();
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
    SayHeldKeys(true);
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
            SayOnce(FailureText(rc, cameUp));
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
    if (m_tls)
        m_tls->Begin();
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
        SayHeldKeys(false);
        Release(lock);
        if (ended)
            break;
    }
    return rc;
}

std::string MqttPublisher::FailureText(int rc, bool cameUp) {
    const std::string where = Where();
    // A broker gone while connected is lost, whether a read saw its end or a write its reset.
    if (cameUp && (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_ERRNO))
        return LostText(where);
    // A connection that came up and ended in the handshake; not one that never came up.
    const bool handshakeCut =
        rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE || rc == MOSQ_ERR_CONN_LOST ||
        rc == MOSQ_ERR_PROTOCOL ||
        (rc == MOSQ_ERR_ERRNO && (errno == 0 || errno == ECONNRESET || errno == EPIPE));
    if (m_tls && handshakeCut && m_tls->started && !m_tls->serverSpoke)
        return "mqtt: TLS with " + where +
               " failed: the broker did not speak TLS (a plain MQTT port?): use mqtt:// or the "
               "port of its TLS listener; trying again";
    if (m_tls && m_tls->verifyError != X509_V_OK) {
        const long code = m_tls->verifyError;
        const std::string authority = m_options.caFile.empty()
                                          ? "an authority this system trusts (give --mqtt-cafile)"
                                          : "the authority in --mqtt-cafile";
        std::string why;
        switch (code) {
            case X509_V_ERR_CERT_HAS_EXPIRED:
                why = "the broker's certificate has expired";
                break;
            case X509_V_ERR_CERT_NOT_YET_VALID:
                why = "the broker's certificate is not valid yet (is the clock right?)";
                break;
            case X509_V_ERR_HOSTNAME_MISMATCH:
            case X509_V_ERR_IP_ADDRESS_MISMATCH:
            case X509_V_ERR_SUBJECT_ISSUER_MISMATCH:
                why = "the broker's certificate names another host than " + m_options.host;
                break;
            case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
            case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
            case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            case X509_V_ERR_CERT_SIGNATURE_FAILURE:
                why = "the broker's certificate is not signed by " + authority;
                break;
            default:
                why = "the broker's certificate was refused: " +
                      std::string(X509_verify_cert_error_string(code));
        }
        return "mqtt: TLS with " + where + " failed: " + why + "; trying again";
    }
    switch (rc) {
        case MOSQ_ERR_ERRNO:
            return "mqtt: cannot reach the broker at " + where + ": " +
                   (errno != 0 ? posix::ErrnoText(errno) : "connection failed") + "; trying again";
        case MOSQ_ERR_EAI:
            return "mqtt: cannot find the broker's host " + m_options.host + "; trying again";
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE: {
            const std::string detail = m_lastLogError.empty() ? "" : " (" + m_lastLogError + ")";
            return "mqtt: TLS with " + where + " failed" + detail + "; trying again";
        }
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
            return LostText(where);
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
    std::unique_lock lock(m_lock);
    m_keysLive = false;
    m_backlog = 0;
    if (m_options.keys) {
        // QoS 0: a key that waited for the client is a key too late.
        const std::string keyTopic = Topic("key");
        mosquitto_subscribe(client, &m_keysMid, keyTopic.c_str(), 0);
    }
    PublishRetained(Topic("availability"), "online");
    m_unitShown.clear();
    m_connected = true;
    PublishDiscoveryLocked();
    if (!m_everConnected || !m_lastSaid.empty()) {
        const std::size_t waiting = m_queue.size();
        SayLater(
            "mqtt: connected to " + Where() +
            (waiting > 0 ? "; " + std::to_string(waiting) + " waiting readings go out now" : ""));
    }
    m_everConnected = true;
    m_lastSaid.clear();
    m_trouble.clear();
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
    if (publisher->m_options.keys && message->topic == publisher->Topic("key"))
        publisher->OnKey(*message);
}

void MqttPublisher::OnSubscribe(mosquitto*, void* self, int mid, int, const int*) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    std::unique_lock lock(publisher->m_lock);
    if (mid != publisher->m_keysMid)
        return;
    publisher->m_keysLive = true;
    if (!std::exchange(publisher->m_keysSaid, true))
        publisher->SayLater("mqtt: taking keys on " + publisher->Topic("key"));
    if (publisher->m_backlog > 0)
        publisher->SayLater("mqtt: dropped " + std::to_string(publisher->m_backlog) +
                            " keys that were sent while the reader was away");
    publisher->Release(lock);
}

void MqttPublisher::OnKey(const mosquitto_message& message) {
    std::unique_lock lock(m_lock);
    if (!m_keysLive) {
        ++m_backlog;
        return;
    }
    if (message.retain) {
        if (!std::exchange(m_retainedSaid, true))
            SayLater("mqtt: ignored a retained key on " + std::string(message.topic) +
                     ": a key is a command for now, never kept (said once)");
        Release(lock);
        return;
    }
    Release(lock);
    const std::string_view text(static_cast<const char*>(message.payload),
                                static_cast<std::size_t>(std::max(message.payloadlen, 0)));
    const bool fits = message.payloadlen <= 64;
    if (m_hooks.keyName) {
        if (fits && m_hooks.keyName(text))
            return;
    } else if (const std::optional<std::uint8_t> key = fits ? scale::KeyByte(text) : std::nullopt) {
        if (m_hooks.key)
            m_hooks.key(*key);
        return;
    }
    lock.lock();
    SayHeldKeys(false);
    if (m_badKeys.Allow(RepeatLimit::Clock::now()))
        SayLater("mqtt: ignored '" + Shown(message.payload, message.payloadlen) + "' on " +
                 message.topic + ": not " +
                 (m_hooks.keyName ? m_hooks.keyNames : "DATA, MODE, TARE or ON/OFF [double]"));
    Release(lock);
}

void MqttPublisher::SayHeldKeys(bool all) {
    const std::optional<std::uint64_t> held =
        all ? std::optional(m_badKeys.TakeHeld()) : m_badKeys.Held(RepeatLimit::Clock::now());
    if (held && *held > 0)
        SayLater("mqtt: " + std::to_string(*held) + " more bad keys were ignored and not shown");
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
        const std::string payload = m_portLost ? WithPortLost(m_latest) : m_latest;
        if (mosquitto_publish(client, nullptr, state.c_str(), static_cast<int>(payload.size()),
                              payload.data(), kQos, true) == MOSQ_ERR_SUCCESS)
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

void MqttPublisher::PublishDiscoveryLocked() {
    // Before the first reading the unit is not known: the record waits for it.
    if (!m_options.discovery || !m_connected || m_unit.empty() || m_unit == m_unitShown)
        return;
    PublishRetained(DiscoveryTopic(m_id),
                    DiscoveryRecord(m_id, Topic("state"), Topic("availability"), m_unit));
    m_unitShown = m_unit;
}

void MqttPublisher::Say(const std::string& message) {
    if (m_hooks.say)
        m_hooks.say(message);
}

void MqttPublisher::SayLater(std::string message) {
    m_unsaid.push_back(std::move(message));
}

void MqttPublisher::SayOnce(const std::string& message) {
    m_trouble = message;
    if (message == m_lastSaid)
        return;
    m_lastSaid = message;
    SayLater(message);
}

void MqttPublisher::Release(std::unique_lock<std::mutex>& lock) {
    std::vector<std::string> messages = std::exchange(m_unsaid, {});
    std::optional<std::string> trouble;
    if (m_trouble != m_troubleTold)
        trouble = m_troubleTold = m_trouble;
    lock.unlock();
    for (const std::string& message : messages)
        Say(message);
    if (trouble && m_hooks.trouble)
        m_hooks.trouble(*trouble);
}

}  // namespace mqtt
