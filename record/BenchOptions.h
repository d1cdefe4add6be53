#pragma once

// The options of the weighing bench that Karvel and karvel-read share: --check, --check-limits,
// --check-sound, --count-pieces[=N], --print-ticket[=PRINTER], --print-preview FILE.pdf,
// --ticket-header TEXT and --ticket-size WxHmm. Plain C++.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "record/Bench.h"
#include "record/Ticket.h"

namespace record {

struct BenchOptions {
    BenchRules rules;
    bool checkSound = false;
    bool printTicket = false;
    std::string printer;  // empty: the default destination
    std::string preview;  // --print-preview: a PDF instead of a printer
    std::string ticketHeader;
    std::optional<TicketSize> ticketSize;  // none: the printer's label, else the 80 mm ticket

    bool Tickets() const { return printTicket || !preview.empty(); }
};

// Takes the bench option at args[at] (and its value). Returns how many arguments it used: 0 when
// args[at] is none of them; with `error` set when its value is bad.
std::size_t TakeBenchOption(std::span<const std::string_view> args, std::size_t at,
                            BenchOptions& options, std::string* error);

// The lines --help prints for the check and the pieces: each option's text from column
// `indent`, and `sample` saying how a sample is taken ("SAMPLE on --keys").
std::string BenchUsage(std::size_t indent, std::string_view sample);

}  // namespace record
