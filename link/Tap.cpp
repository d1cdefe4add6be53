#include "link/Tap.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <optional>

#include "platform/posix/FileKind.h"
#include "platform/posix/ReadAll.h"
#include "platform/posix/UniqueFd.h"
#include "record/LogFile.h"
#include "scale/families/Family.h"

namespace scale_link {
namespace {

using posix::SystemError;

constexpr std::string_view kBlanks = " \t";
// Nine figures of seconds are thirty years: more is no time a tap was taken over.
constexpr std::size_t kMostSecondFigures = 9;
constexpr std::size_t kMostPlaces = 9;
// As long as one line's time can be.
constexpr std::chrono::microseconds kLongestTap{1'000'000'000'000'000};
// Hours of a scale that streams without a pause.
constexpr std::size_t kMostTapBytes = 256u << 20;

constexpr std::string_view kHeader =
    "# A tap: what went over a scale's wire, one burst a line.\n"
    "# SECONDS DIRECTION BYTES: seconds since the tap began; '<' came from the scale, '>' went\n"
    "# to it; each byte as two hex digits. From '#' on, a line is a comment. A time lower than\n"
    "# the line before begins another run.\n";

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// A device's name in a comment: one line, whatever the name holds.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return text;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The first blank-separated word of `*rest`, taken from it.
std::string_view TakeWord(std::string_view* rest) {
    *rest = rest->substr(std::min(rest->size(), rest->find_first_not_of(kBlanks)));
    const std::string_view word = rest->substr(0, rest->find_first_of(kBlanks));
    rest->remove_prefix(word.size());
    return word;
}

bool AllFigures(std::string_view text) {
    return text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "12.5" as microseconds; none for anything but a plain decimal.
std::optional<std::chrono::microseconds> SecondsOf(std::string_view word) {
    const std::size_t point = word.find('.');
    const std::string_view whole = word.substr(0, point);
    const std::string_view places =
        point == std::string_view::npos ? std::string_view{} : word.substr(point + 1);
    if (whole.empty() || whole.size() > kMostSecondFigures || !AllFigures(whole) ||
        places.size() > kMostPlaces || !AllFigures(places) ||
        (point != std::string_view::npos && places.empty()))
        return std::nullopt;
    std::int64_t seconds = 0;
    std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
    std::string micro(places.substr(0, 6));
    micro.resize(6, '0');
    std::int64_t fraction = 0;
    std::from_chars(micro.data(), micro.data() + micro.size(), fraction);
    return std::chrono::microseconds(seconds * 1'000'000 + fraction);
}

// Appends the bytes of `word` ("0d" or "0d0a") to `bytes`; false when it is no hex.
bool TakeHex(std::string_view word, std::vector<std::uint8_t>* bytes) {
    if (word.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < word.size(); i += 2) {
        unsigned byte = 0;
        const auto [end, ec] = std::from_chars(word.data() + i, word.data() + i + 2, byte, 16);
        if (ec != std::errc() || end != word.data() + i + 2)
            return false;
        bytes->push_back(static_cast<std::uint8_t>(byte));
    }
    return true;
}

// One line without its comment, not blank: its burst, or what is wrong with it.
posix::Result<TapBurst> BurstOf(std::string_view line) {
    TapBurst burst;
    const std::string_view time = TakeWord(&line);
    const auto at = SecondsOf(time);
    if (!at)
        return SystemError::Because("'" + std::string(time) +
                                    "' is no time (seconds since the tap began, as 0.25)");
    burst.at = *at;
    const std::string_view direction = TakeWord(&line);
    if (direction != "<" && direction != ">")
        return SystemError::Because("'<' (from the scale) or '>' (to it) must follow the time");
    burst.in = direction == "<";
    for (std::string_view word = TakeWord(&line); !word.empty(); word = TakeWord(&line)) {
        if (!TakeHex(word, &burst.bytes))
            return SystemError::Because("'" + std::string(word) + "' is no byte in hex (as 0d)");
    }
    if (burst.bytes.empty())
        return SystemError::Because("no bytes after the direction");
    return burst;
}

}  // namespace

std::string TapLine(const TapBurst& burst) {
    static constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                  '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    char time[40];
    std::snprintf(time, sizeof time, "%lld.%06lld",
                  static_cast<long long>(burst.at.count() / 1'000'000),
                  static_cast<long long>(burst.at.count() % 1'000'000));
    std::string line = std::string(time) + (burst.in ? " <" : " >");
    for (const std::uint8_t byte : burst.bytes) {
        line += ' ';
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    return line;
}

posix::Result<std::vector<TapBurst>> ParseTap(std::string_view text) {
    std::vector<TapBurst> bursts;
    std::chrono::microseconds runStart{0};
    std::chrono::microseconds last{0};
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        line = Trimmed(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        auto burst = BurstOf(line);
        if (!burst)
            return SystemError::Because("line " + std::to_string(number) + ": " +
                                        burst.Error().text);
        // A run appended later starts at 0 again: it goes on where the one before ended.
        if (burst->at < last)
            runStart = bursts.back().at;
        if (runStart > kLongestTap)
            return SystemError::Because("line " + std::to_string(number) +
                                        ": the runs before it add up to more than 31 years");
        last = burst->at;
        burst->at += runStart;
        bursts.push_back(std::move(*burst));
    }
    return bursts;
}

posix::Result<std::vector<TapBurst>> ReadTap(const std::string& path) {
    // Never held by a FIFO that nobody writes to.
    const posix::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0)
        return SystemError::Because("cannot read " + path + ": " + posix::ErrnoText(errno));
    if (!S_ISREG(info.st_mode))
        return SystemError::Because(path + " is " + posix::KindOf(info.st_mode) +
                                    ", not a regular file");
    auto text = posix::ReadAll(fd.Get(), kMostTapBytes);
    if (!text)
        return SystemError::Because("cannot read " + path + ": " + text.Error().Describe());
    auto bursts = ParseTap(*text);
    if (!bursts)
        return SystemError::Because(path + " " + bursts.Error().text);
    return bursts;
}

posix::Result<std::shared_ptr<TapFile>> TapFile::Open(const std::string& path,
                                                      std::function<void(std::string)> say) {
    std::string error;
    auto file = record::LogFile::Open(path, std::string(kHeader), &error);
    if (!file)
        return SystemError::Because(error);
    std::shared_ptr<TapFile> tap(new TapFile(std::move(file), std::move(say)));
    tap->Note("begun " + UtcNow());
    return tap;
}

TapFile::TapFile(std::unique_ptr<record::LogFile> file, std::function<void(std::string)> say)
    : m_file(std::move(file)), m_say(std::move(say)) {}

TapFile::~TapFile() = default;

void TapFile::Burst(bool in, std::span<const std::uint8_t> bytes) {
    const auto at = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - m_begun);
    Append(TapLine({at, in, {bytes.begin(), bytes.end()}}) + "\n");
}

void TapFile::Note(const std::string& text) {
    Append("# " + OneLine(text) + "\n");
}

void TapFile::Append(std::string line) {
    const std::lock_guard hold(m_lock);
    if (m_file->Append(std::move(line)) || std::exchange(m_failed, true))
        return;
    if (m_say)
        m_say("--tap: cannot write " + m_file->Path() + ": " + m_file->LastError() +
              " (bursts are kept and written when it takes them again)");
}

namespace {

class TapWire final : public Wire {
  public:
    TapWire(std::unique_ptr<Wire> wire, std::shared_ptr<TapFile> tap)
        : m_wire(std::move(wire)), m_tap(std::move(tap)) {}

    int WaitDescriptor() const override { return m_wire->WaitDescriptor(); }
    bool Lasting() const override { return m_wire->Lasting(); }
    serial_port::IoResult ReadAvailable(std::span<std::uint8_t> into) override {
        return Seen(true, into, m_wire->ReadAvailable(into));
    }
    serial_port::IoResult WriteAvailable(std::span<const std::uint8_t> bytes) override {
        return Seen(false, bytes, m_wire->WriteAvailable(bytes));
    }
    serial_port::IoResult Write(std::span<const std::uint8_t> bytes) override {
        return Seen(false, bytes, m_wire->Write(bytes));
    }
    serial_port::PortError Restart(const scale::LineSettings& line) override {
        m_tap->Note("set to " + scale::families::LineText(line));
        return m_wire->Restart(line);
    }

  private:
    serial_port::IoResult Seen(bool in, std::span<const std::uint8_t> bytes,
                               serial_port::IoResult result) {
        if (result.bytes > 0)
            m_tap->Burst(in, bytes.first(std::min(result.bytes, bytes.size())));
        return result;
    }

    std::unique_ptr<Wire> m_wire;
    std::shared_ptr<TapFile> m_tap;
};

}  // namespace

std::unique_ptr<Wire> Tapped(std::unique_ptr<Wire> wire, std::shared_ptr<TapFile> tap) {
    return std::make_unique<TapWire>(std::move(wire), std::move(tap));
}

}  // namespace scale_link
