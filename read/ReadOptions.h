#pragma once

// Command line of karvel-read. Plain C++.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/HidScale.h"
#include "link/ModbusMap.h"
#include "mqtt/MqttOptions.h"
#include "platform/posix/Result.h"
#include "record/Capture.h"
#include "record/Forms.h"
#include "record/WeighingOptions.h"
#include "record/store/RecordOptions.h"
#include "scale/families/FamilyOptions.h"
#include "web/WebOptions.h"
#include "wedge/TypeOptions.h"

namespace reader {

using FamilyOptions = scale::families::FamilyOptions;

enum class Format { kJsonLines, kCsv, kText, kXlsx };
// auto: a header unless standard output is a regular file that already holds something.
enum class Header { kAuto, kAlways, kNever };

// --tap, --replay: the wire recorded, or a recording read in place of the port.
struct TapOptions {
    std::string file;                 // --tap: every burst written here
    std::string replay;               // --replay: the tap read as if it were the port
    std::optional<double> speed = 1;  // --replay-speed: times the recorded pace; none: max
    bool speedGiven = false;
};

struct ReadOptions {
    std::string port;  // "COMn", a device path or a network wire; empty: probe COM1..COM32
    // --modbus: where a transmitter on a Modbus port keeps its weight
    std::optional<scale_link::ModbusMap> modbus;
    Format format = Format::kJsonLines;
    record::CaptureRule capture = record::CaptureRule::kChange;
    std::optional<double> minWeight;  // --min-weight: the settled rule's least weight
    Header header = Header::kAuto;
    record::CsvColumns columns = record::DefaultCsvColumns();
    record::CsvDialect dialect;  // --csv-decimal
    std::string output;          // --output: the spreadsheet file of --format xlsx
    std::uint64_t count = 0;     // 0: no limit
    std::string id;              // empty: from the device
    bool raw = false;
    bool keys = false;
    bool help = false;
    bool version = false;
    bool listPorts = false;  // --list-ports
    mqtt::MqttOptions mqtt;
    FamilyOptions family;
    wedge::TypeOptions type;        // --type...: readings typed into the focused window
    bool quiet = false;             // --quiet: no readings on standard output
    record::WeighingOptions bench;  // --check, --count-pieces
    web::WebOptions http;
    record::store::RecordOptions record;  // --record, --verify, --records
    TapOptions tap;
};

// Exit codes, as the manual page lists them.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNoScale = 1;
inline constexpr int kExitUsage = cli::kExitUsage;
inline constexpr int kExitNotAcknowledged = 3;  // readings the broker never took
inline constexpr int kExitOutput = 4;           // the --output file could not be written
inline constexpr int kExitBroken = 5;           // --verify found a chain broken
inline constexpr int kExitRecord = 6;           // the record could not be read or written

// `args` excludes the program name; the refusal says what cannot be used. `credentials`: a
// systemd credential folder is at hand (it may hold the --http-keys token).
posix::Result<ReadOptions> ReadOptionsFrom(std::span<const std::string_view> args,
                                           bool credentials = false);
// The same, the refusal in `error`.
std::optional<ReadOptions> ParseReadOptions(std::span<const std::string_view> args,
                                            std::string* error, bool credentials = false);

std::string ReadUsage();

}  // namespace reader
