#include "read/RecordTool.h"

#include <cstdio>
#include <deque>

#include "mqtt/Secrets.h"
#include "read/ReaderApp.h"
#include "record/Escape.h"
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
    const bool csv = options.format == Format::kCsv;
    if (csv)
        Print(CsvHeaderOfRecords());
    const record::store::RowQuery query{options.record.scale, options.record.since,
                                        options.record.until};
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
    // The chain is walked oldest first: the newest `limit` rows below `before` are kept.
    std::deque<ChainRow> newest;
    bool older = false;
    const posix::Status walked =
        (*kept)->Walk(Chain::kWeighings, {scale, asked.since, {}}, [&](const ChainRow& row) {
            if (asked.before != 0 && row.seq >= asked.before)
                return false;
            newest.push_back(row);
            if (newest.size() > asked.limit) {
                newest.pop_front();
                older = true;
            }
            return true;
        });
    if (!walked)
        return walked.Error();
    std::string page = "{\"scale\":" + record::JsonString(scale) + ",\"records\":[";
    for (auto row = newest.rbegin(); row != newest.rend(); ++row)
        page.append(row == newest.rbegin() ? "" : ",").append(JsonOf(*row));
    return page + "],\"next\":" + (older ? std::to_string(newest.front().seq) : "null") + "}";
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
