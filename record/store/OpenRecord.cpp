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

posix::Result<std::unique_ptr<WeighingRecord>> OpenChosenRecord(
    const RecordOptions& options, bool writing, const ReadSecret& read,
    const std::function<void(const std::string&)>& say) {
    const auto place = PlaceOf(options.url, {});
    if (!place)
        return place.Error();
    std::string password;
    if (place->postgres && !options.passwordFile.empty()) {
        std::string error, warning;
        const auto got = read(options.passwordFile, &error, &warning);
        if (!got)
            return posix::SystemError::Because("the password file: " + error);
        if (!warning.empty())
            say("--record-password-file: " + warning);
        password = *got;
    }
    return OpenRecord(
        *place, {.writing = writing, .password = password, .spool = options.spool, .say = say});
}

}  // namespace record::store
