#include "record/store/WeighingRecord.h"

#include <deque>

namespace record::store {

posix::Result<std::vector<ChainRow>> WeighingRecord::Newest(const PageQuery& query) {
    // Oldest first: the newest limit + 1 rows below `before` are kept.
    std::deque<ChainRow> newest;
    const posix::Status walked =
        Walk(Chain::kWeighings, {query.scale, query.since, {}}, [&](const ChainRow& row) {
            if (query.before != 0 && row.seq >= query.before)
                return false;
            newest.push_front(row);
            if (newest.size() > query.limit + 1)
                newest.pop_back();
            return true;
        });
    if (!walked)
        return walked.Error();
    return std::vector<ChainRow>(newest.begin(), newest.end());
}

}  // namespace record::store
