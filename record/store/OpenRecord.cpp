#include "record/store/OpenRecord.h"

#include "record/store/PostgresRecord.h"
#include "record/store/SpooledRecord.h"

namespace record::store {

namespace {

template <typename T>
posix::Result<std::unique_ptr<WeighingRecord>> AsRecord(posix::Result<std::unique_ptr<T>> opened) {
    if (!opened)
        return opened.Error();
    return std::unique_ptr<WeighingRecord>(std::move(*opened));
}

}  // namespace

posix::Result<std::unique_ptr<WeighingRecord>> OpenRecord(const RecordPlace& place,
                                                          const OpenFor& how) {
    if (!place.postgres)
        return AsRecord(SqliteRecord::Open(
            place.target, how.writing ? SqliteRecord::Mode::kWrite : SqliteRecord::Mode::kRead));
    auto connect = [url = place.target, password = how.password] {
        return AsRecord(PostgresRecord::Open(url, password));
    };
    if (!how.writing || how.spool.empty())
        return connect();
    return AsRecord(SpooledRecord::Open(connect, how.spool, how.say));
}

}  // namespace record::store
