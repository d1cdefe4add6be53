#pragma once

// Publishes one scale's readings to an MQTT broker with libmosquitto:
//   PREFIX/ID/reading       every reading, QoS 1, in order
//   PREFIX/ID/state         the latest reading, retained; with "port_lost":true added while
//                           the port it came from is lost
//   PREFIX/ID/availability  "online" / "offline", retained; "offline" is also the will
//   PREFIX/ID/key           key names, subscribed only when remote keys are on
// A key is a command for now: a retained key, and a key the broker kept for the session while
// the client was away, are ignored. Keys are taken at QoS 0, which the broker does not keep for
// a client that is away, and whatever arrives on a connection before the broker has
// acknowledged its key subscription is the session's backlog and dropped.
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
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "mqtt/MqttOptions.h"
#include "mqtt/RepeatLimit.h"

struct mosquitto;
struct mosquitto_message;

namespace mqtt {

class MqttPublisher {
    struct Tls;

  public:
    struct Hooks {
        std::function<void(const std::string& message)> say;  // a message for the user
        std::function<void(std::uint8_t key)> key;            // a key arrived (keys on only)
        // Keys by name instead of `key` (a scale family's, which has keys the panel has not):
        // handed each key's text, it tells whether the text named a key; `keyNames` says which
        // names it takes, when one is ignored.
        std::function<bool(std::string_view text)> keyName;
        std::string keyNames;
        // What keeps the broker from taking readings, in words; empty once it takes them again.
        std::function<void(const std::string& trouble)> trouble;
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
    // Queues one reading (a JSON object) for PREFIX/ID/reading and makes it the state. `unit`:
    // the lit mass unit, which the discovery record follows (empty: unknown, kept as it was).
    void Publish(std::string json, std::string_view unit = {});
    // The port was lost (or is back): the state says so from now on.
    void PortLost(bool lost);
    // Gives queued readings up to `drain` to leave, says how many did not, publishes "offline"
    // and disconnects. Returns how many did not (0 when already stopped).
    std::size_t Stop(std::chrono::milliseconds drain);

    std::string Topic(std::string_view leaf) const;
    std::uint64_t Dropped() const;

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnLog(mosquitto*, void* self, int level, const char* text);
    static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    void OnKey(const mosquitto_message& message);
    // REQUIRES: m_lock held. Publishes the discovery record for m_unit when connected.
    void PublishDiscoveryLocked();
    // Says how many bad keys were not shown once their period is over (or now, `all`).
    void SayHeldKeys(bool all);

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
    // `cameUp`: the broker had accepted the connection that ended.
    std::string FailureText(int rc, bool cameUp);
    void WaitFor(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds limit,
                 const std::function<bool()>& done);

    const MqttOptions m_options;
    const std::string m_id;
    const Hooks m_hooks;
    // With mqtts://: what the handshake got to. Outlives the client, whose closing may still
    // call back into it.
    std::unique_ptr<Tls> m_tls;
    std::unique_ptr<mosquitto, void (*)(mosquitto*)> m_client;
    std::thread m_thread;

    mutable std::mutex m_lock;  // guards everything below
    std::condition_variable m_changed;
    std::deque<std::string> m_queue;     // readings not yet handed to the client
    std::unordered_set<int> m_inFlight;  // readings handed over, not yet acknowledged
    std::string m_latest;                // the newest reading
    bool m_latestPublished = true;       // m_latest went to the state topic
    bool m_portLost = false;             // the state says the port is lost
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
    std::string m_trouble;        // what keeps the broker from taking readings
    std::string m_troubleTold;    // what the trouble hook was last told
    std::string m_unit;           // the unit of the latest reading that had one
    std::string m_unitShown;      // the unit in the discovery record this connection has
    int m_keysMid = -1;           // the key subscription of this connection, until acknowledged
    bool m_keysLive = false;      // it was acknowledged: keys from now on are fresh
    std::uint64_t m_backlog = 0;  // keys dropped before it was acknowledged
    bool m_retainedSaid = false;
    bool m_keysSaid = false;
    RepeatLimit m_badKeys;
};

}  // namespace mqtt
