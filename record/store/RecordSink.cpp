#include "record/store/RecordSink.h"

#include <chrono>
#include <utility>

#include "record/Escape.h"
#include "record/Forms.h"

namespace record::store {
namespace {

std::string Flag(bool lit) {
    return lit ? "1" : "0";
}

}  // namespace

ChainRow WeighingRowOf(const CapturedReading& r, std::string_view scale,
                       std::string_view operatorName, std::string_view software) {
    ChainRow row = EmptyRow(Chain::kWeighings);
    row.scale = scale;
    const std::string value =
        r.reading.number ? NumberText(r.reading.number->exact).value_or("") : "";
    const std::pair<std::string_view, std::string> fields[] = {
        {"time_utc", UtcText(r.time)},
        {"port", PortName(r)},
        {"device", r.device},
        {"protocol", r.protocol},
        {"text", r.reading.text},
        {"value", value},
        {"unit", r.reading.unit},
        {"stable", Flag(r.reading.indicators.stable)},
        {"net", Flag(r.reading.indicators.net)},
        {"check", r.check ? std::string(VerdictName(r.check->verdict)) : ""},
        {"deviation", r.check ? r.check->deviation : ""},
        {"pieces", r.pieces ? r.pieces->pieces : ""},
        {"unit_weight", r.pieces ? r.pieces->unitWeight : ""},
        {"operator", std::string(operatorName)},
        {"frame", HexOf(r)},
        {"software", std::string(software)},
    };
    for (const auto& [name, text] : fields)
        row.SetField(name, text);
    return row;
}

RecordSink::RecordSink(std::unique_ptr<WeighingRecord> record, Identity identity, Say say,
                       int failureCode, int waitingCode)
    : m_record(std::move(record)),
      m_identity(std::move(identity)),
      m_say(std::move(say)),
      m_failureCode(failureCode),
      m_waitingCode(waitingCode) {}

std::optional<std::uint64_t> RecordSink::Keep(ChainRow row) {
    const posix::Result<ChainRow> kept = m_record->Append(std::move(row));
    if (!kept) {
        m_say("--record: " + kept.Error().Describe());
        m_failed = true;
        return std::nullopt;
    }
    return kept->seq;
}

bool RecordSink::Begin(std::string scale, std::string detail) {
    m_scale = std::move(scale);
    m_begun = true;
    return Note("start", std::move(detail));
}

bool RecordSink::Note(std::string_view kind, std::string detail) {
    if (!m_begun || m_failed)
        return !m_failed;
    ChainRow row = EmptyRow(Chain::kEvents);
    row.scale = m_scale;
    row.SetField("time_utc", UtcText(std::chrono::system_clock::now()));
    row.SetField("kind", std::string(kind));
    row.SetField("detail", std::move(detail));
    row.SetField("software", m_identity.software);
    return Keep(std::move(row)).has_value();
}

bool RecordSink::Take(const Captured& captured) {
    if (m_failed)
        return false;
    ChainRow row = WeighingRowOf(captured.Reading(), captured.ScaleId(), m_identity.operatorName,
                                 m_identity.software);
    const std::optional<std::uint64_t> seq = Keep(std::move(row));
    if (seq)
        captured.SetRecord(*seq);
    return seq.has_value();
}

void RecordSink::PortLost(bool lost) {
    Note(lost ? "port lost" : "port back", "");
}

int RecordSink::Finish(int code) {
    Note("stop", "exit status " + std::to_string(code));
    if (m_failed)
        return m_failureCode;
    if (const std::uint64_t waiting = m_record->Flush(); waiting != 0) {
        m_say("--record: " + std::to_string(waiting) +
              " weighings and events wait in the spool for the database; the next run sends "
              "them first");
        return m_waitingCode;
    }
    return code;
}

}  // namespace record::store
