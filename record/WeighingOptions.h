#pragma once

// The options of the weighing bench that Karvel and karvel-read share: --check, --check-limits,
// --check-sound, --count-pieces[=N], --print-ticket[=PRINTER], --print-preview FILE.pdf,
// --ticket-header TEXT and --ticket-size WxHmm. Plain C++.

#include <optional>
#include <string>
#include <string_view>

#include "platform/cli/OptionTable.h"
#include "record/Ticket.h"
#include "record/Weighing.h"

namespace record {

struct WeighingOptions {
    WeighingRules rules;
    bool checkSound = false;
    bool printTicket = false;
    std::string printer;  // empty: the default destination
    std::string preview;  // --print-preview: a PDF instead of a printer
    std::string ticketHeader;
    std::optional<TicketSize> ticketSize;  // none: the printer's label, else the 80 mm ticket

    bool Tickets() const { return printTicket || !preview.empty(); }
};

// The check, the pieces (`sample` says how a sample is taken: "SAMPLE on --keys") and the panel's
// sound and tickets, which karvel-read refuses with a reason.
void AddWeighingOptions(cli::OptionTable& table, WeighingOptions& options, std::string_view sample);

}  // namespace record
