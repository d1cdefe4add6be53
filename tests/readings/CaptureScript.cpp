#include "tests/readings/CaptureScript.h"

#include <gtest/gtest.h>

#include <regex>

namespace readingstest {

scale::FrameBytes FrameOf(const ScriptFrame& frame) {
    const auto cells = scalesim::FormatWeight(frame.cells);
    EXPECT_TRUE(cells) << frame.cells;
    return scale::FrameOf(
        {frame.wm, frame.sign, frame.unit, cells.value_or(scalesim::DigitCells{})});
}

std::vector<std::string> ExpectedRows(const RuleCase& rule) {
    std::vector<std::string> rows;
    for (const int i : rule.captured)
        rows.push_back(std::string(kRows[i]) + "," + rule.rule);
    rows.push_back(std::string(kEndRow) + "," + rule.rule);
    return rows;
}

namespace {

// The fields of one record, unquoted.
std::vector<std::string> Fields(const std::string& record) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const char c = record[i];
        if (quoted && c == '"' && i + 1 < record.size() && record[i + 1] == '"')
            fields.back() += record[i++];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

}  // namespace

std::vector<LoggedRow> ParseLog(const std::string& csv) {
    const std::string header =
        "time_utc,port,device,text,value,unit,stable,net,zero,hold,overload,battery_low,"
        "capture\r\n";
    if (csv.compare(0, header.size(), header) != 0) {
        ADD_FAILURE() << "no header first:\n" << csv;
        return {};
    }
    std::vector<LoggedRow> rows;
    std::size_t at = header.size();
    while (at < csv.size()) {
        const std::size_t end = csv.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a record without its CRLF: " << csv.substr(at);
            return {};
        }
        const std::vector<std::string> fields = Fields(csv.substr(at, end - at));
        if (fields.size() != 13) {
            ADD_FAILURE() << "not 13 fields: " << csv.substr(at, end - at);
            return {};
        }
        std::string rest = fields[3];
        for (std::size_t i = 4; i < fields.size(); ++i)
            rest += "," + fields[i];
        rows.push_back({fields[0], fields[1], fields[2], rest});
        at = end + 2;
    }
    return rows;
}

std::vector<std::string> ScriptRows(const std::vector<LoggedRow>& rows, const std::string& rule) {
    static const std::regex utc(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    const std::string prelude = std::string(kPreludeRow) + "," + rule;
    std::size_t first = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(std::regex_match(rows[i].time, utc)) << rows[i].time;
        if (i > 0) {
            EXPECT_LE(rows[i - 1].time, rows[i].time);  // ISO text sorts as time does
        }
        if (rows[i].rest == prelude)
            first = i + 1;
    }
    std::vector<std::string> script;
    for (std::size_t i = first; i < rows.size(); ++i)
        script.push_back(rows[i].rest);
    return script;
}

}  // namespace readingstest
