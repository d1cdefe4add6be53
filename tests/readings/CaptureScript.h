#pragma once

// A scripted session of frames and the log rows each capture rule must make of it, shared by
// the tests of the log and of the window. The script sits between a prelude frame and an end
// frame that every rule captures (stable, data-sent, a new weight), so a reader of the log
// knows where the script's rows begin and end.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/scalesim/ScaleFrames.h"

namespace readingstest {

struct ScriptFrame {
    const char* cells;
    std::uint8_t unit = scalesim::kUnitKg;
    std::uint8_t sign = 0;
    std::uint8_t wm = 0;
};

constexpr std::uint8_t kStable = scalesim::kSignStable;
constexpr std::uint8_t kData = scalesim::kSignData;

// Not the empty pan, which the settled rule skips.
inline const ScriptFrame kPrelude{"0.001", scalesim::kUnitKg, kStable | kData};
inline const char* const kPreludeRow = "0.001,0.001,kg,1,0,0,0,0,0";
inline const ScriptFrame kEnd{"9.999", scalesim::kUnitKg, kStable | kData};

inline const std::vector<ScriptFrame> kScript = {
    {"123.456"},                                                         // 1 moving
    {"123.456", scalesim::kUnitKg, kStable},                             // 2 settles
    {"123.456", scalesim::kUnitKg, kStable},                             // 3 the same
    {"-0.50", scalesim::kUnitLb | scalesim::kUnitNet, kStable},          // 4 net, in lb
    {"-0.50", scalesim::kUnitLb | scalesim::kUnitNet, kStable | kData},  // 5 DATA pressed
    {"-0.50", scalesim::kUnitLb | scalesim::kUnitNet, kStable},          // 6 let go
    {"0.00", scalesim::kUnitKg, kStable | scalesim::kSignZero | scalesim::kSignHold},  // 7
    {"99.999", scalesim::kUnitKg, 0, scalesim::kWmOverLoad},  // 8 over load
};

// The log's columns from `text` on, without the rule's name.
inline const char* const kRows[] = {
    "123.456,123.456,kg,0,0,0,0,0,0", "123.456,123.456,kg,1,0,0,0,0,0",
    "123.456,123.456,kg,1,0,0,0,0,0", "-0.50,-0.50,lb,1,1,0,0,0,0",
    "-0.50,-0.50,lb,1,1,0,0,0,0",     "-0.50,-0.50,lb,1,1,0,0,0,0",
    "0.00,0.00,kg,1,0,1,1,0,0",       "99.999,,kg,0,0,0,0,1,0",
};
inline const char* const kEndRow = "9.999,9.999,kg,1,0,0,0,0,0";

struct RuleCase {
    const char* rule;
    std::vector<int> captured;  // indexes into kScript
};
inline const RuleCase kRuleCases[] = {
    {"settled", {1, 3}},  // 7 is the empty pan
    {"settled-all", {1, 3, 6}},  {"data", {4}},
    {"change", {0, 1, 3, 6, 7}}, {"every", {0, 1, 2, 3, 4, 5, 6, 7}},
};

scale::FrameBytes FrameOf(const ScriptFrame& frame);

// The rows the rule must log for the script, end row included, from `text` on.
std::vector<std::string> ExpectedRows(const RuleCase& rule);

struct LoggedRow {
    std::string time;
    std::string port;
    std::string device;
    std::string rest;  // from `text` on
};
// The records of `csv` after its header; empty and a failure when the header is not first or a
// record does not end in CRLF.
std::vector<LoggedRow> ParseLog(const std::string& csv);
// The rows after the last prelude row up to the end row, as ExpectedRows gives them. Checks that
// every time is UTC with milliseconds and that the times never go back.
std::vector<std::string> ScriptRows(const std::vector<LoggedRow>& rows, const std::string& rule);

}  // namespace readingstest
