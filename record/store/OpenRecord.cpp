#include "record/store/OpenRecord.h"

#include "record/store/PostgresRecord.h"

namespace record::store {

posix::Result<std::unique_ptr<WeighingRecord>> OpenRecord(const RecordPlace& place, bool forWriting,
                                                          const std::string& password) {
    if (place.postgres) {
        auto opened = PostgresRecord::Open(place.target, password);
        if (!opened)
            return opened.Error();
        return std::unique_ptr<WeighingRecord>(std::move(*opened));
    }
    auto opened = SqliteRecord::Open(
        place.target, forWriting ? SqliteRecord::Mode::kWrite : SqliteRecord::Mode::kRead);
    if (!opened)
        return opened.Error();
    return std::unique_ptr<WeighingRecord>(std::move(*opened));
}

}  // namespace record::store
