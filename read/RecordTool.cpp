#include "read/RecordTool.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "mqtt/Secrets.h"
#include "read/ReaderApp.h"
#include "record/Decimal.h"
#include "record/Escape.h"
#include "record/Sheet.h"
#include "record/store/OpenRecord.h"
#include "record/store/Verify.h"

namespace reader {
namespace {

using record::store::Chain;
using record::store::ChainRow;

void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::string JsonOf(const ChainRow& row) {
    std::string json =
        "{\"scale\":" + record::JsonString(row.scale) + ",\"record\":" + std::to_string(row.seq);
    const auto names = record::store::FieldNames(Chain::kWeighings);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& field = row.fields[i];
        std::string value = record::JsonString(field);
        if (names[i] == "value")
            value = field.empty() ? "null" : field;
        else if (names[i] == "stable" || names[i] == "net")
            value = field == "1" ? "true" : "false";
        json.append(",").append(record::JsonString(names[i])).append(":").append(value);
    }
    return json + ",\"prev_hash\":\"" + row.prevHash + "\",\"hash\":\"" + row.hash + "\"}";
}

std::string CsvHeaderOfRecords() {
    std::string header = "scale";
    for (const std::string_view name : record::store::FieldNames(Chain::kWeighings))
        header.append(",").append(name);
    return header + ",record,hash\r\n";
}

std::string CsvOf(const ChainRow& row) {
    std::string line = record::CsvField(row.scale);
    for (const std::string& field : row.fields)
        line.append(",").append(record::CsvField(field));
    return line + "," + std::to_string(row.seq) + "," + row.hash + "\r\n";
}

// "2026-12-09T10:00:00.000Z" as a time; the epoch for anything else.
std::chrono::system_clock::time_point TimeOf(const std::string& text) {
    std::tm parts{};
    int ms = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &ms) < 6)
        return {};
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return std::chrono::system_clock::from_time_t(::timegm(&parts)) + std::chrono::milliseconds(ms);
}

// A stored field as a spreadsheet cell: times as times, decimals as numbers with their places.
record::SheetCell CellOf(std::string_view name, const std::string& field) {
    record::SheetCell cell;
    if (field.empty())
        return cell;
    double number = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), number);
    const bool decimal = error == std::errc() && end == field.data() + field.size();
    const bool numeric = name == "value" || name == "deviation" || name == "pieces" ||
                         name == "unit_weight" || name == "stable" || name == "net";
    if (name == "time_utc") {
        cell.kind = record::SheetCell::Kind::kTime;
        cell.time = TimeOf(field);
    } else if (numeric && decimal) {
        cell.kind = record::SheetCell::Kind::kNumber;
        cell.number = number;
        cell.decimals = record::PlacesOf(field);
    } else {
        cell.kind = record::SheetCell::Kind::kText;
        cell.text = field;
    }
    return cell;
}

// The record's weighings as a spreadsheet at --output: the columns of --format csv.
int ListAsSheet(record::store::WeighingRecord& kept, const ReadOptions& options,
                const record::store::RowQuery& query) {
    std::vector<std::string> titles = {"scale"};
    const auto names = record::store::FieldNames(Chain::kWeighings);
    titles.insert(titles.end(), names.begin(), names.end());
    titles.insert(titles.end(), {"record", "hash"});
    std::string error;
    auto sheet = record::SheetWriter::CreateTitled(options.output, titles, &error);
    if (!sheet) {
        Say("--output: " + error);
        return kExitOutput;
    }
    const posix::Status walked = kept.Walk(Chain::kWeighings, query, [&](const ChainRow& row) {
        std::vector<record::SheetCell> cells = {CellOf("scale", row.scale)};
        for (std::size_t i = 0; i < names.size(); ++i)
            cells.push_back(CellOf(names[i], row.fields[i]));
        cells.push_back(CellOf("value", std::to_string(row.seq)));
        cells.push_back(CellOf("hash", row.hash));
        sheet->AddCells(cells);
        return true;
    });
    if (!walked) {
        Say("--records: " + walked.Error().Describe());
        return kExitRecord;
    }
    if (!sheet->Finish(&error)) {
        Say("--output: " + error);
        return kExitOutput;
    }
    return kExitDone;
}

int VerifyAll(record::store::WeighingRecord& kept) {
    const auto verdict = record::store::Verify(kept);
    if (!verdict) {
        Say("--verify: " + verdict.Error().Describe());
        return kExitRecord;
    }
    for (const record::store::Break& found : verdict->breaks)
        Print(record::store::Describe(found) + "\n");
    Print(record::store::Summary(*verdict) + "\n");
    return verdict->breaks.empty() ? kExitDone : kExitBroken;
}

int List(record::store::WeighingRecord& kept, const ReadOptions& options) {
    const record::store::RowQuery query{options.record.scale, options.record.since,
                                        options.record.until};
    if (options.format == Format::kXlsx)
        return ListAsSheet(kept, options, query);
    const bool csv = options.format == Format::kCsv;
    if (csv)
        Print(CsvHeaderOfRecords());
    const posix::Status walked = kept.Walk(Chain::kWeighings, query, [csv](const ChainRow& row) {
        Print(csv ? CsvOf(row) : JsonOf(row) + "\n");
        return true;
    });
    if (!walked) {
        Say("--records: " + walked.Error().Describe());
        return kExitRecord;
    }
    return kExitDone;
}

}  // namespace

posix::Result<std::unique_ptr<record::store::WeighingRecord>> OpenChosenRecord(
    const record::store::RecordOptions& options, bool forWriting) {
    return record::store::OpenChosenRecord(options, forWriting, mqtt::ReadPassword, Say);
}

posix::Result<std::string> RecordsPage(const record::store::RecordOptions& options,
                                       const std::string& scale, const web::RecordsAsked& asked) {
    auto kept = OpenChosenRecord(options, false);
    if (!kept)
        return kept.Error();
    auto newest = (*kept)->Newest({scale, asked.since, asked.before, asked.limit});
    if (!newest)
        return newest.Error();
    // One row more than a page: older ones follow.
    const bool older = newest->size() > asked.limit;
    if (older)
        newest->pop_back();
    std::string page = "{\"scale\":" + record::JsonString(scale) + ",\"records\":[";
    for (const ChainRow& row : *newest)
        page.append(&row == &newest->front() ? "" : ",").append(JsonOf(row));
    return page + "],\"next\":" + (older ? std::to_string(newest->back().seq) : "null") + "}";
}

int RunRecordTool(const ReadOptions& options) {
    auto kept = OpenChosenRecord(options.record, false);
    if (!kept) {
        Say("--record: " + kept.Error().Describe());
        return kExitRecord;
    }
    return options.record.verify ? VerifyAll(**kept) : List(**kept, options);
}

}  // namespace reader
