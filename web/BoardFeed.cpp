#include "web/BoardFeed.h"

#include <mosquitto.h>

#include <cstring>
#include <utility>

#include "mqtt/Secrets.h"
#include "platform/posix/Printable.h"

namespace web {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr std::size_t kLongestPayload = 16 * 1024;
constexpr std::size_t kLongestId = 128;

}  // namespace

BoardFeed::BoardFeed(mqtt::MqttOptions broker, std::function<void(Heard)> heard,
                     std::function<void(const std::string&)> say)
    : m_broker(std::move(broker)),
      m_heard(std::move(heard)),
      m_say(std::move(say)),
      m_client(nullptr, mosquitto_destroy) {}

BoardFeed::~BoardFeed() {
    if (m_running) {
        mosquitto_disconnect(m_client.get());
        mosquitto_loop_stop(m_client.get(), true);
    }
}

posix::Status BoardFeed::Start() {
    static const int once = mosquitto_lib_init();
    (void)once;
    // The login is read before anything connects, as the publisher reads its own.
    std::optional<std::string> password;
    std::string error, warning;
    if (!m_broker.passwordFile.empty() &&
        !(password = mqtt::ReadPassword(m_broker.passwordFile, &error, &warning)))
        return posix::SystemError::Because(error);
    if (!warning.empty())
        m_say(warning);
    if (!m_broker.caFile.empty()) {
        if (const auto why = mqtt::UnreadableFile(m_broker.caFile))
            return posix::SystemError::Because("cannot read --mqtt-cafile " +
                                               posix::Printable(m_broker.caFile) + ": " + *why);
    }
    m_client.reset(mosquitto_new(nullptr, true, this));
    if (!m_client)
        return posix::SystemError::Because("cannot make an MQTT client");
    mosquitto* client = m_client.get();
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_reconnect_delay_set(client, 1, 30, true);
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_broker.user.empty())
        rc = mosquitto_username_pw_set(client, m_broker.user.c_str(),
                                       password ? password->c_str() : nullptr);
    if (rc == MOSQ_ERR_SUCCESS && m_broker.tls)
        rc = mosquitto_tls_set(client, m_broker.caFile.empty() ? nullptr : m_broker.caFile.c_str(),
                               m_broker.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr,
                               nullptr, nullptr);
    mosquitto_connect_callback_set(client, OnConnect);
    mosquitto_disconnect_callback_set(client, OnDisconnect);
    mosquitto_message_callback_set(client, OnMessage);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect_async(client, m_broker.host.c_str(), m_broker.port,
                                     kKeepAliveSeconds);
    // A broker that is not up yet is tried again by the client's own loop.
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_ERRNO)
        return posix::SystemError::Because(std::string("cannot reach the broker: ") +
                                           mosquitto_strerror(rc));
    if ((rc = mosquitto_loop_start(client)) != MOSQ_ERR_SUCCESS)
        return posix::SystemError::Because(std::string("cannot start the MQTT client: ") +
                                           mosquitto_strerror(rc));
    m_running = true;
    return posix::Success();
}

void BoardFeed::OnConnect(mosquitto* client, void* self, int rc) {
    auto* feed = static_cast<BoardFeed*>(self);
    if (rc != 0) {
        feed->m_say(std::string("board: the broker refused: ") + mosquitto_connack_string(rc));
        return;
    }
    for (const char* leaf : {"state", "availability"}) {
        const std::string topic = feed->m_broker.prefix + "/+/" + leaf;
        mosquitto_subscribe(client, nullptr, topic.c_str(), 1);
    }
    feed->m_say("board: following " + feed->m_broker.prefix + "/+ on " + feed->m_broker.host + ":" +
                std::to_string(feed->m_broker.port));
}

void BoardFeed::OnDisconnect(mosquitto*, void* self, int rc) {
    if (rc != 0)
        static_cast<BoardFeed*>(self)->m_say("board: lost the broker; trying again");
}

void BoardFeed::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* feed = static_cast<BoardFeed*>(self);
    const std::string topic = message->topic;
    const std::string& prefix = feed->m_broker.prefix;
    if (topic.size() <= prefix.size() + 1 || topic.compare(0, prefix.size(), prefix) != 0 ||
        message->payloadlen < 0 || static_cast<std::size_t>(message->payloadlen) > kLongestPayload)
        return;
    const std::string rest = topic.substr(prefix.size() + 1);
    const std::size_t slash = rest.find('/');
    if (slash == 0 || slash == std::string::npos || slash > kLongestId)
        return;
    Heard heard;
    heard.id = rest.substr(0, slash);
    heard.availability = rest.substr(slash + 1) == "availability";
    heard.payload.assign(static_cast<const char*>(message->payload),
                         static_cast<std::size_t>(message->payloadlen));
    feed->m_heard(std::move(heard));
}

}  // namespace web
