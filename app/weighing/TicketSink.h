#pragma once

// Tickets of captured weighings (--print-ticket, --print-preview) and of one asked for (Ctrl+P):
// the lines of record/Ticket.h, with the check's rule when one is on, numbered by the state
// folder's counter, written to the preview file and sent to the printer. What fails is said;
// the weighing stands all the same.
//
// Thread: UI thread only.

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "record/Capture.h"
#include "record/Sink.h"
#include "record/Weighing.h"
#include "record/WeighingOptions.h"

class TicketSink : public record::ReadingSink {
    Q_DECLARE_TR_FUNCTIONS(TicketSink)

  public:
    struct Setup {
        record::WeighingOptions options;
        std::string stateFolder;  // where ticket numbers are kept
        // The check a ticket names; shared with what captures.
        std::shared_ptr<const record::WeighingRules> rules;
        std::function<std::string()> scaleId;     // the scale's name on the ticket
        std::function<void(const QString&)> say;  // what failed
    };
    explicit TicketSink(Setup setup);

    // A ticket of each capture, when tickets are asked for.
    bool Take(const record::Captured& captured) override;
    // A ticket of `reading`; `asked` (Ctrl+P) with neither a printer nor a preview file named
    // goes to the system's default printer. A weighing in the record (`seq`) has that number on
    // its ticket, reprints too; another takes the next of the state folder's counter.
    void Print(const record::CapturedReading& reading, bool asked,
               std::optional<std::uint64_t> seq = std::nullopt);

  private:
    Setup m_setup;
};
