#pragma once

// What the board hears from the broker: every scale's retained state and availability under a
// prefix (PREFIX/+/state, PREFIX/+/availability), through libmosquitto on a thread of its own,
// reconnecting on its own while the broker is away.
//
// Thread: Start and the destructor on one thread; `heard` runs on the client's thread.

#include <functional>
#include <memory>
#include <string>

#include "mqtt/MqttOptions.h"
#include "platform/posix/Result.h"

struct mosquitto;
struct mosquitto_message;

namespace web {

class BoardFeed {
  public:
    struct Heard {
        std::string id;
        bool availability = false;  // else the state
        std::string payload;        // empty: the retained message was cleared
    };
    BoardFeed(mqtt::MqttOptions broker, std::function<void(Heard)> heard,
              std::function<void(const std::string&)> say);
    ~BoardFeed();
    BoardFeed(const BoardFeed&) = delete;
    BoardFeed& operator=(const BoardFeed&) = delete;

    // Fails when it cannot begin at all.
    posix::Status Start();

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    const mqtt::MqttOptions m_broker;
    const std::function<void(Heard)> m_heard;
    const std::function<void(const std::string&)> m_say;
    std::unique_ptr<mosquitto, void (*)(mosquitto*)> m_client;
    bool m_running = false;
};

}  // namespace web
