#pragma once

// The weighing record as a sink: the first in a program's list, so that a weighing is on the disk
// before any other sink sees it (printed, published, typed, put on a ticket). It also keeps the
// events that change what weighings mean: start and stop, the port lost and back, a piece sample
// taken, keys sent. Program-neutral: the panel and the reader make it alike.
//
// Thread: the thread that captures, for every call.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "record/Sink.h"
#include "record/store/WeighingRecord.h"

namespace record::store {

// The row of a captured weighing, before the record links it.
ChainRow WeighingRowOf(const CapturedReading& r, std::string_view scale,
                       std::string_view operatorName, std::string_view software);

class RecordSink : public ReadingSink {
  public:
    using Say = std::function<void(const std::string&)>;
    struct Identity {
        std::string operatorName;  // --operator; may be empty
        std::string software;      // "karvel-read 1.2.0"
    };
    // `failureCode`: the exit status once a weighing or event could not be kept; `waitingCode`:
    // when rows still wait for the database at the end.
    RecordSink(std::unique_ptr<WeighingRecord> record, Identity identity, Say say, int failureCode,
               int waitingCode);

    // The scale is known: its start event, with `detail`. False when it could not be kept.
    bool Begin(std::string scale, std::string detail);
    // One more event of the scale begun; false when it could not be kept.
    bool Note(std::string_view kind, std::string detail);

    // Sends what waits for the database, when it is back; how many still wait. The program calls
    // it now and then, so that rows go out while no weighing comes.
    std::uint64_t Flush() { return m_record->Flush(); }

    // Commits the weighing and gives the reading its seq; false when it could not be kept.
    bool Take(const Captured& captured) override;
    bool Gates() const override { return true; }
    void PortLost(bool lost) override;
    // The stop event; `failureCode` when something could not be kept, `waitingCode` when rows
    // still wait for the database (said with their number).
    int Finish(int code) override;

  private:
    // The row's seq once it is kept.
    std::optional<std::uint64_t> Keep(ChainRow row);

    std::unique_ptr<WeighingRecord> m_record;
    Identity m_identity;
    Say m_say;
    int m_failureCode;
    int m_waitingCode;
    std::string m_scale;
    bool m_begun = false;
    bool m_failed = false;
};

}  // namespace record::store
