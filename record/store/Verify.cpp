#include "record/store/Verify.h"

#include <optional>
#include <set>
#include <utility>

namespace record::store {
namespace {

// The first fault of `row` after `end`, the end of its chain so far.
std::optional<Break::Why> FaultOf(const ChainRow& row, const ChainEnd& end) {
    if (row.seq <= end.seq)
        return Break::Why::kOrder;
    if (row.seq > end.seq + 1)
        return Break::Why::kGap;
    if (HashOf(row) != row.hash)
        return Break::Why::kHash;
    if (row.prevHash != end.hash)
        return Break::Why::kChain;
    return std::nullopt;
}

posix::Status WalkChain(WeighingRecord& record, Chain chain, Verdict* verdict,
                        std::set<std::string>* scales, const std::function<bool()>& stopped) {
    std::string scale;
    ChainEnd end;
    bool broken = false;
    bool first = true;
    bool halted = false;
    const posix::Status walked = record.Walk(chain, {}, [&](const ChainRow& row) {
        if (stopped && stopped()) {
            halted = true;
            return false;
        }
        ++(chain == Chain::kWeighings ? verdict->weighings : verdict->events);
        scales->insert(row.scale);
        if (std::exchange(first, false) || row.scale != scale) {
            scale = row.scale;
            end = ChainEnd{};
            broken = false;
        }
        if (broken)
            return true;
        if (const auto why = FaultOf(row, end)) {
            verdict->breaks.push_back(Break{chain, row.scale, row.seq, *why});
            broken = true;
        }
        end = ChainEnd{row.seq, row.hash};
        return true;
    });
    if (walked && halted)
        return posix::SystemError::Because("the check was stopped");
    return walked;
}

}  // namespace

posix::Result<Verdict> Verify(WeighingRecord& record, const std::function<bool()>& stopped) {
    Verdict verdict;
    std::set<std::string> scales;
    for (const Chain chain : {Chain::kWeighings, Chain::kEvents}) {
        if (posix::Status walked = WalkChain(record, chain, &verdict, &scales, stopped); !walked)
            return walked.Error();
    }
    verdict.scales = scales.size();
    return verdict;
}

std::string Describe(const Break& found) {
    const std::string where = std::string(TableName(found.chain)) + " of scale '" + found.scale +
                              "', seq " + std::to_string(found.seq) + ": ";
    switch (found.why) {
        case Break::Why::kHash:
            return where + "its fields do not give its hash (the row was changed)";
        case Break::Why::kGap:
            return where + "rows before it are missing (removed)";
        case Break::Why::kOrder:
            return where + "the seq repeats or goes back (a row was put in)";
        case Break::Why::kChain:
            return where +
                   "its prev_hash is not the hash of the row before (a row was put in or "
                   "removed)";
    }
    return where;
}

std::string Summary(const Verdict& verdict) {
    return std::to_string(verdict.weighings) + " weighings, " + std::to_string(verdict.events) +
           " events, " + std::to_string(verdict.scales) +
           " scales: " + (verdict.breaks.empty() ? "intact" : "broken");
}

}  // namespace record::store
