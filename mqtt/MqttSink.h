#pragma once

// Readings published to the broker. The publisher belongs to the program, which also takes keys
// through it; the sink only hands it readings and drains it at the end.

#include <chrono>

#include "mqtt/MqttPublisher.h"
#include "record/Sink.h"

namespace mqtt {

class MqttSink : public record::ReadingSink {
  public:
    // `publisher` outlives the sink. `drain`: how long Finish waits for the broker to take what
    // waits; `lost`: the exit status when it did not.
    MqttSink(MqttPublisher& publisher, std::chrono::milliseconds drain, int lost);
    bool Take(const record::Captured& captured) override;
    bool Serves() const override { return true; }
    void PortLost(bool lost) override { m_publisher.PortLost(lost); }
    int Finish(int code) override;

  private:
    MqttPublisher& m_publisher;
    std::chrono::milliseconds m_drain;
    int m_lost;
};

}  // namespace mqtt
