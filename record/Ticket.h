#pragma once

// A ticket of one weighing, as lines of text, and the sequence number that tells tickets apart:
// one number per scale, kept in the user's state folder and never handed out twice, also when
// the program is killed between two tickets. Plain C++.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/Capture.h"
#include "record/Check.h"

namespace record {

struct TicketFacts {
    std::string header;  // the user's text at the head, or empty
    std::uint64_t number = 0;
    std::string scaleId;
    const CheckRule* check = nullptr;  // the rule the verdict came from, or null
};

// "Ticket 000042", the local date and time, scale, port and device, the weight as gross, net or
// plain weight (as the scale's labels say) with the tare in use, the check and the pieces when
// they are on.
std::vector<std::string> TicketLines(const CapturedReading& r, const TicketFacts& facts);

// A page the user names for tickets, such as a label's: millimetres, each side 15 to 1000.
struct TicketSize {
    double widthMm = 0;
    double heightMm = 0;

    bool operator==(const TicketSize&) const = default;
};

// "62x29mm", "101.6x152.4mm" (the unit may be left out). None, with the reason in `error`, for
// anything else.
std::optional<TicketSize> ParseTicketSize(std::string_view text, std::string* error);

// The folder tickets' numbers are kept in: $XDG_STATE_HOME/karvel, else ~/.local/state/karvel.
std::string StateFolder(const std::string& stateHome, const std::string& home);

// The next number for `scaleId` (1 for the first), kept in `folder` (made when missing) as
// "tickets-ID.seq", replaced atomically under a lock, on the disk before it is returned. None,
// with the reason in `error`, when it cannot be kept: then no ticket may carry it.
std::optional<std::uint64_t> NextTicketNumber(const std::string& folder, const std::string& scaleId,
                                              std::string* error);

}  // namespace record
