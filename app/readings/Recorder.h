#pragma once

// Turns the frames the panel tells of a port shown open into captured readings by one rule, and
// feeds the live weight to a trend when one is wanted. Knows nothing of files or windows: each
// capture goes to its list of sinks, in the order they were added, and then to `captured`.
//
// Thread: UI thread only (frame observers are told there).

#include <QObject>

#include <memory>
#include <optional>
#include <string>

#include "app/readings/Trend.h"
#include "record/Capture.h"
#include "record/Sink.h"
#include "record/Weighing.h"
#include "scale/FrameObserver.h"

class Recorder : public QObject, public scale::FrameObserver {
    Q_OBJECT
  public:
    // `minWeight` counts while the rule is settled, also after SetRule.
    explicit Recorder(record::CaptureRule rule, std::optional<double> minWeight = std::nullopt);

    record::CaptureRule Rule() const { return m_capturer.Rule(); }
    // From the next frame on; the new rule starts with nothing known.
    void SetRule(record::CaptureRule rule);
    // Every frame's weight and every capture go to `trend` from now on; nullptr: none.
    void FeedTrend(Trend* trend) { m_trend = trend; }
    // Every capture gets what `rules` say of it (a check, pieces) from now on; null: none.
    void SetWeighingRules(std::shared_ptr<const record::WeighingRules> rules) {
        m_bench = std::move(rules);
    }

    // Every capture goes to `sink` from now on, after those added before it.
    void AddSink(std::unique_ptr<record::ReadingSink> sink) { m_sinks.Add(std::move(sink)); }

    // The next frame goes to `listed` when a rule that knows nothing yet would capture it and
    // the rule itself does not: a window opened now lists the load already on the pan.
    void ListNextAsNew() { m_fresh.emplace(m_capturer.Rule(), m_capturer.MinWeight()); }

    void OnFrame(const scale::Frame& frame) override;
    void OnPortState(const scale::PortState& state) override;

  signals:
    void captured(const record::CapturedReading& reading);
    void listed(const record::CapturedReading& reading);

  private:
    record::Capturer m_capturer;
    std::optional<record::Capturer> m_fresh;  // ListNextAsNew's
    int m_port = 0;
    std::string m_device;
    std::string m_portName;
    Trend* m_trend = nullptr;
    std::shared_ptr<const record::WeighingRules> m_bench;
    record::SinkList m_sinks;
};
