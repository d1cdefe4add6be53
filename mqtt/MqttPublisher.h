#pragma once

// Publishes one scale's readings to an MQTT broker with libmosquitto:
//   PREFIX/ID/reading       every reading, QoS 1, in order
//   PREFIX/ID/state         the latest reading, retained
//   PREFIX/ID/availability  "online" / "offline", retained; "offline" is also the will
//   PREFIX/ID/key           key names, subscribed only when remote keys are on
// While the broker is away, readings wait in a bounded queue and leave in order when it is back;
// the oldest are dropped when it overflows, and the drops are counted and said. The session is
// persistent (a fixed client id, clean session off), so what the broker took is not lost when
// either side reconnects.
//
// Thread: the client runs its network loop on a thread of its own; Start, Stop and the
// destructor are called on one thread, Publish and Dropped on any. Hooks run on the network
// thread, except that what Publish and Stop say is said on their caller's thread; never with the
// publisher's lock held, so a hook may call Publish, Dropped or Topic.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "mqtt/MqttOptions.h"

struct mosquitto;
struct mosquitto_message;

namespace mqtt {

class MqttPublisher {
  public:
    struct Hooks {
        std::function<void(const std::string& message)> say;  // a message for the user
        std::function<void(std::uint8_t key)> key;            // a key arrived (keys on only)
    };

    // REQUIRES: CheckMqttOptions(options) found nothing; IsScaleId(scaleId).
    MqttPublisher(MqttOptions options, std::string scaleId, Hooks hooks);
    // Stop with no time to drain.
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Reads the password file and starts connecting (in the background, retrying with back-off).
    // False, with `error` set, when it cannot begin at all.
    bool Start(std::string* error);
    // Queues one reading (a JSON object) for PREFIX/ID/reading and makes it the state.
    void Publish(std::string json);
    // Gives queued readings up to `drain` to leave, says how many did not, publishes "offline"
    // and disconnects. Returns how many did not (0 when already stopped).
    std::size_t Stop(std::chrono::milliseconds drain);

    // The unit the Home Assistant discovery record gives (kg until told otherwise, as another
    // family's scale may weigh in g, ct or pcs); a change is published at once when connected.
    void SetUnit(std::string unit);

    std::string Topic(std::string_view leaf) const;
    std::uint64_t Dropped() const;

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    void Run();
    // Connects once and runs the network loop until the connection ends; the error that ended
    // it.
    int RunConnection();
    void Connected();
    // REQUIRES: m_lock held. Hands queued readings to the client while the window allows.
    void PumpLocked();
    void PublishRetained(const std::string& topic, const std::string& payload);
    // REQUIRES: m_lock held. `message` is said once the lock is released (Release).
    void SayLater(std::string message);
    // REQUIRES: m_lock held. SayLater unless it was the last thing said about the connection.
    void SayOnce(const std::string& message);
    // Releases `lock` (m_lock), then says what was left to say while it was held.
    void Release(std::unique_lock<std::mutex>& lock);
    // REQUIRES: m_lock not held.
    void Say(const std::string& message);
    std::string Where() const;
    std::string FailureText(int rc);
    std::string DiscoveryRecord(const std::string& unit) const;
    void WaitFor(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds limit,
                 const std::function<bool()>& done);

    const MqttOptions m_options;
    const std::string m_id;
    const Hooks m_hooks;
    std::unique_ptr<mosquitto, void (*)(mosquitto*)> m_client;
    std::thread m_thread;

    mutable std::mutex m_lock;  // guards everything below
    std::condition_variable m_changed;
    std::deque<std::string> m_queue;     // readings not yet handed to the client
    std::unordered_set<int> m_inFlight;  // readings handed over, not yet acknowledged
    std::string m_latest;                // the newest reading
    std::string m_unit = "kg";           // of the discovery record
    bool m_latestPublished = true;       // m_latest went to the state topic
    int m_offlineMid = -1;               // the "offline" publish while stopping
    bool m_connected = false;
    bool m_cameUp = false;         // the current connection was accepted; kept past its end
    bool m_justConnected = false;  // pump once the client has resent its own
    bool m_everConnected = false;
    bool m_stopping = false;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_droppedSaid = 0;
    std::vector<std::string> m_unsaid;  // said once m_lock is released
    std::string m_lastSaid;
    std::string m_lastLogError;
};

}  // namespace mqtt
