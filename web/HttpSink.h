#pragma once

// Readings served to the web page's clients and event streams.

#include "record/Sink.h"
#include "web/HttpBridge.h"

namespace web {

class HttpSink : public record::ReadingSink {
  public:
    // `bridge` outlives the sink.
    explicit HttpSink(HttpBridge& bridge) : m_bridge(bridge) {}
    bool Take(const record::Captured& captured) override {
        m_bridge.Reading(captured.Json());
        return true;
    }
    bool Serves() const override { return true; }

  private:
    HttpBridge& m_bridge;
};

}  // namespace web
