#include "record/Ticket.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "platform/posix/SystemError.h"
#include "platform/posix/UniqueFd.h"
#include "record/Forms.h"
#include "record/LogFile.h"

namespace record {

namespace {

std::string LocalTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string Row(const std::string& name, const std::string& value) {
    std::string row = name;
    row.resize(8, ' ');
    return row + value;
}

// Makes `path` and its missing parents, for the user alone.
bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

}  // namespace

std::vector<std::string> TicketLines(const CapturedReading& r, const TicketFacts& facts) {
    std::vector<std::string> lines;
    if (!facts.header.empty())
        lines.push_back(facts.header);
    char number[32];
    std::snprintf(number, sizeof number, "Ticket %06llu",
                  static_cast<unsigned long long>(facts.number));
    lines.push_back(number);
    lines.push_back(Row("Date", LocalTime(r.time)));
    lines.push_back(Row("Scale", facts.scaleId));
    lines.push_back(Row("Port", PortName(r.port) + " (" + r.device + ")"));
    const scale::Indicators& lit = r.reading.indicators;
    const std::string weight =
        r.reading.text + (r.reading.unit.empty() ? "" : " " + r.reading.unit);
    lines.push_back(Row(lit.net ? "Net" : lit.gross ? "Gross" : "Weight", weight));
    if (lit.tare)
        lines.push_back(Row("Tare", "in use"));
    if (r.check) {
        const std::string unit = r.check->unit.empty() ? "" : " " + r.check->unit;
        std::string check =
            std::string(VerdictName(r.check->verdict)) + ", deviation " + r.check->deviation + unit;
        if (facts.check)
            check += " (" + RuleText(*facts.check) + ")";
        lines.push_back(Row("Check", check));
    }
    if (r.pieces)
        lines.push_back(Row("Pieces", r.pieces->pieces + " (one " + r.pieces->unitWeight +
                                          (r.pieces->unit.empty() ? "" : " " + r.pieces->unit) +
                                          ")"));
    return lines;
}

std::optional<TicketSize> ParseTicketSize(std::string_view text, std::string* error) {
    constexpr double kSmallest = 15;
    constexpr double kLargest = 1000;
    if (text.ends_with("mm"))
        text.remove_suffix(2);
    const std::size_t x = text.find_first_of("xX");
    TicketSize size;
    const auto number = [](std::string_view part, double* value) {
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), *value,
                                               std::chars_format::fixed);
        return !part.empty() && ec == std::errc() && end == part.data() + part.size();
    };
    if (x == std::string_view::npos || !number(text.substr(0, x), &size.widthMm) ||
        !number(text.substr(x + 1), &size.heightMm)) {
        *error = "give the page as WIDTHxHEIGHTmm, such as 62x29mm";
        return std::nullopt;
    }
    if (size.widthMm < kSmallest || size.heightMm < kSmallest || size.widthMm > kLargest ||
        size.heightMm > kLargest) {
        *error = "each side is 15 to 1000 mm";
        return std::nullopt;
    }
    return size;
}

std::string StateFolder(const std::string& stateHome, const std::string& home) {
    return (stateHome.empty() ? home + "/.local/state" : stateHome) + "/karvel";
}

std::optional<std::uint64_t> NextTicketNumber(const std::string& folder, const std::string& scaleId,
                                              std::string* error) {
    if (!MakeFolders(folder)) {
        *error = "cannot make " + folder + ": " + posix::ErrnoText(errno);
        return std::nullopt;
    }
    const std::string path = folder + "/tickets-" + scaleId + ".seq";
    // Two programs printing for one scale take turns.
    const std::string lockPath = path + ".lock";
    const posix::UniqueFd lock(
        ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock || ::flock(lock.Get(), LOCK_EX) != 0) {
        *error = "cannot lock " + lockPath + ": " + posix::ErrnoText(errno);
        return std::nullopt;
    }
    std::uint64_t last = 0;
    const std::string kept = FirstLine(path);
    if (!kept.empty()) {
        const auto [end, ec] = std::from_chars(kept.data(), kept.data() + kept.size(), last);
        if (ec != std::errc() || end != kept.data() + kept.size()) {
            *error = path + " holds no ticket number; it is left as it is";
            return std::nullopt;
        }
    }
    const std::uint64_t next = last + 1;
    if (!ReplaceWhole(path, std::to_string(next) + "\n", error))
        return std::nullopt;
    // The new name itself on the disk, not only the file's bytes.
    const posix::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir || ::fsync(dir.Get()) != 0) {
        *error = "cannot sync " + folder + ": " + posix::ErrnoText(errno);
        return std::nullopt;
    }
    return next;
}

}  // namespace record
