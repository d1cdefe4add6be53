#pragma once

// Where captured readings go: standard output, a spreadsheet, typing, a broker, a web page. Each
// destination is one small class behind this interface, and a program hands every captured
// reading to its list of them, so a new destination is one more class and nothing else.
//
// Thread: the thread that captures (the program's main thread), for every call.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/Capture.h"

namespace record {

// One captured reading as the sinks see it. The JSON object is made once, for all that want it.
class Captured {
  public:
    Captured(const CapturedReading& reading, std::string_view scaleId)
        : m_reading(reading), m_scaleId(scaleId) {}
    const CapturedReading& Reading() const { return m_reading; }
    std::string_view ScaleId() const { return m_scaleId; }
    // With a record, the JSON object ends with "record":SEQ.
    const std::string& Json() const;
    // The record's seq of this weighing, once the record kept it; set by the record's sink, the
    // first in the list, before any other sees the reading.
    std::optional<std::uint64_t> Record() const { return m_record; }
    void SetRecord(std::uint64_t seq) const { m_record = seq; }

  private:
    const CapturedReading& m_reading;
    std::string_view m_scaleId;
    mutable std::optional<std::string> m_json;
    mutable std::optional<std::uint64_t> m_record;
};

class ReadingSink {
  public:
    virtual ~ReadingSink() = default;
    // False once the destination has gone for good (nobody reads standard output any more).
    virtual bool Take(const Captured& captured) = 0;
    // A sink that serves others (a broker, a web page) keeps the program going when an output
    // that has gone would otherwise end it.
    virtual bool Serves() const { return false; }
    // A sink that must take a reading before any other may see it (the record): when its Take
    // fails, the sinks after it never see the reading and the program ends.
    virtual bool Gates() const { return false; }
    // The port was lost: what was offered and not yet delivered is dropped, where that matters.
    virtual void PortLost(bool lost) { (void)lost; }
    // At the end, once: delivers what is held and says how that went. `code` is the exit status
    // so far; the result is that or, when this sink lost what it was to deliver, its own.
    virtual int Finish(int code) { return code; }
};

// A sink that belongs to something else (a window's part, a menu item's), lent to a list: its
// owner outlives the list.
class LentSink : public ReadingSink {
  public:
    explicit LentSink(ReadingSink& sink) : m_sink(sink) {}
    bool Take(const Captured& captured) override { return m_sink.Take(captured); }
    bool Serves() const override { return m_sink.Serves(); }
    bool Gates() const override { return m_sink.Gates(); }
    void PortLost(bool lost) override { m_sink.PortLost(lost); }
    int Finish(int code) override { return m_sink.Finish(code); }

  private:
    ReadingSink& m_sink;
};

class SinkList {
  public:
    void Add(std::unique_ptr<ReadingSink> sink);
    bool Empty() const { return m_sinks.empty(); }
    // To every sink, in the order they were added. False when a destination has gone and no
    // sink serves others: the program has nothing left to do.
    bool Hand(const CapturedReading& reading, std::string_view scaleId);
    void PortLost(bool lost);
    // Every sink's Finish, in order; the exit status they leave.
    int Finish(int code);

  private:
    std::vector<std::unique_ptr<ReadingSink>> m_sinks;
};

}  // namespace record
