#pragma once

// Publishes what a panel mirrors: a frame observer that captures readings by the change rule
// and hands them to an MqttPublisher. The publisher starts when the panel first shows a port
// open, since the scale's name comes from that port's device. With the weighing record it
// captures nothing of its own: it is a sink after the record and publishes the weighings the
// record kept, each with its seq, so nothing reaches the broker before it is on the disk.
//
// Thread: the panel's UI thread (as every frame observer).

#include <functional>
#include <memory>
#include <string>

#include "mqtt/MqttOptions.h"
#include "mqtt/MqttPublisher.h"
#include "record/Capture.h"
#include "record/Sink.h"
#include "record/Weighing.h"
#include "scale/FrameObserver.h"

namespace mqtt {

class MqttMirror : public scale::FrameObserver, public record::ReadingSink {
  public:
    // `byIdName` answers the lasting name of a port's device (empty when none); `say` takes the
    // publisher's messages and `trouble` what keeps the broker from taking readings, empty once
    // it takes them (both on any thread).
    MqttMirror(MqttOptions options, std::function<std::string(int port)> byIdName,
               std::function<void(const std::string&)> say,
               std::function<void(const std::string&)> trouble = {});
    ~MqttMirror();
    MqttMirror(const MqttMirror&) = delete;
    MqttMirror& operator=(const MqttMirror&) = delete;

    void OnFrame(const scale::Frame& frame) override;
    void OnPortState(const scale::PortState& state) override;
    // What every published reading is given (a check, pieces); null: nothing.
    void SetWeighingRules(std::shared_ptr<const record::WeighingRules> rules) {
        m_bench = std::move(rules);
    }
    // From now on the weighings handed to Take are published instead of the mirror's own
    // captures. Before the first frame.
    void FollowRecord() { m_followsRecord = true; }
    // A weighing the record kept (after FollowRecord); never ends anything.
    bool Take(const record::Captured& captured) override;

  private:
    MqttOptions m_options;
    std::function<std::string(int)> m_byIdName;
    std::function<void(const std::string&)> m_say;
    std::function<void(const std::string&)> m_trouble;
    std::unique_ptr<MqttPublisher> m_publisher;
    std::string m_id;
    record::Capturer m_capturer{record::CaptureRule::kChange};
    int m_port = 0;
    std::string m_device;
    std::string m_portName;  // empty: COMn
    std::shared_ptr<const record::WeighingRules> m_bench;
    bool m_followsRecord = false;
};

}  // namespace mqtt
