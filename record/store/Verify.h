#pragma once

// Walks every chain of a record and says where each first breaks. Plain C++.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/Result.h"
#include "record/store/WeighingRecord.h"

namespace record::store {

struct Break {
    Chain chain = Chain::kWeighings;
    std::string scale;
    std::uint64_t seq = 0;  // the first row that does not follow from those before it
    enum class Why {
        kHash,   // its fields do not give its hash: the row was changed
        kGap,    // seqs before it are missing: rows were removed
        kOrder,  // its seq repeats or goes back: a row was put in
        kChain,  // its prev_hash is not the previous row's hash: a row was put in or removed
    } why = Why::kHash;
};

struct Verdict {
    std::uint64_t weighings = 0;
    std::uint64_t events = 0;
    std::uint64_t scales = 0;
    std::vector<Break> breaks;  // the first of each scale's chain that breaks; none: intact
};

// `stopped`, asked at each row, ends the walk early with an error; none: it goes to the end.
posix::Result<Verdict> Verify(WeighingRecord& record, const std::function<bool()>& stopped = {});

// "weighings of scale 'bench-1', seq 4: seq 3 is missing (a row was removed)".
std::string Describe(const Break& found);
// "N weighings, M events, S scales: intact", or the same with "broken".
std::string Summary(const Verdict& verdict);

}  // namespace record::store
