#include "record/store/SpooledRecord.h"

#include <cerrno>

namespace record::store {
namespace {

constexpr auto kRetry = std::chrono::seconds(1);

}  // namespace

posix::Result<std::unique_ptr<SpooledRecord>> SpooledRecord::Open(Connect connect,
                                                                  const std::string& spoolPath,
                                                                  Say say) {
    auto spool = SqliteRecord::Open(spoolPath, SqliteRecord::Mode::kWrite);
    if (!spool)
        return spool.Error();
    // The first connection is made here: a refused login is said at once, not waited out.
    auto connected = connect();
    if (!connected && connected.Error().code == EACCES)
        return connected.Error();
    auto record =
        std::make_unique<SpooledRecord>(std::move(*spool), std::move(connect), std::move(say));
    record->m_tried = true;
    record->m_lastTry = std::chrono::steady_clock::now();
    if (connected) {
        record->m_created = (*connected)->Created();
        record->m_database = std::move(*connected);
        // What an earlier run left goes before anything of this one's.
        record->Flush();
    } else
        record->Lost(connected.Error());
    return record;
}

WeighingRecord* SpooledRecord::Database() {
    const auto now = std::chrono::steady_clock::now();
    if (m_database || (m_tried && now - m_lastTry < kRetry))
        return m_database.get();
    m_tried = true;
    m_lastTry = now;
    auto connected = m_connect();
    if (!connected)
        return nullptr;
    m_database = std::move(*connected);
    m_say("--record: " + m_database->Where() + " is back");
    return m_database.get();
}

void SpooledRecord::Lost(const posix::SystemError& error) {
    m_database.reset();
    m_say("--record: " + error.Describe() + "; weighings wait in the spool " + m_spool->Where());
}

std::string SpooledRecord::Where() const {
    return m_database ? m_database->Where() : m_spool->Where();
}

posix::Result<ChainEnd> SpooledRecord::End(Chain chain, const std::string& scale) {
    auto spooled = m_spool->End(chain, scale);
    if (!spooled)
        return spooled.Error();
    WeighingRecord* database = Database();
    if (!database)
        return spooled->seq != 0 ? *spooled
                                 : posix::Result<ChainEnd>(posix::SystemError::Because(
                                       "the database is unreachable and the spool does not "
                                       "know where scale '" +
                                       scale + "' goes on"));
    auto kept = database->End(chain, scale);
    if (!kept) {
        Lost(kept.Error());
        return End(chain, scale);
    }
    return kept->seq > spooled->seq ? *kept : *spooled;
}

posix::Result<ChainRow> SpooledRecord::Append(ChainRow row) {
    const auto key = std::make_pair(row.chain, row.scale);
    auto known = m_ends.find(key);
    if (known == m_ends.end()) {
        auto end = End(row.chain, row.scale);
        if (!end)
            return end.Error();
        known = m_ends.emplace(key, *end).first;
    }
    Link(&row, known->second);
    if (posix::Status spooled = m_spool->Insert(row); !spooled)
        return spooled.Error();
    known->second = ChainEnd{row.seq, row.hash};
    ++m_waiting;
    Flush();
    return row;
}

posix::Status SpooledRecord::Insert(const ChainRow& linked) {
    return m_spool->Insert(linked);
}

bool SpooledRecord::Send(Chain chain, const std::string& scale) {
    auto end = m_database->End(chain, scale);
    if (!end) {
        Lost(end.Error());
        return false;
    }
    posix::Status sent = posix::Success();
    const posix::Status walked =
        m_spool->Walk(chain, {.scale = scale, .after = end->seq}, [&](const ChainRow& row) {
            sent = m_database->Insert(row);
            return sent.Ok();
        });
    if (!walked || !sent) {
        Lost(walked ? sent.Error() : walked.Error());
        return false;
    }
    return true;
}

void SpooledRecord::Adopt() {
    std::uint64_t waiting = 0;
    for (const Chain chain : {Chain::kWeighings, Chain::kEvents}) {
        auto scales = m_spool->Scales(chain);
        // Said once: this run's own rows still go.
        if (!scales) {
            m_adopted = true;
            return m_say("--record: " + scales.Error().Describe());
        }
        for (const std::string& scale : *scales) {
            auto spooled = m_spool->End(chain, scale);
            auto kept = m_database->End(chain, scale);
            if (!kept)
                return Lost(kept.Error());
            if (!spooled || spooled->seq <= kept->seq)
                continue;
            waiting += spooled->seq - kept->seq;
            m_ends.try_emplace({chain, scale}, *spooled);
        }
    }
    m_waiting = waiting;
    m_adopted = true;
}

std::uint64_t SpooledRecord::Flush() {
    if ((m_waiting == 0 && m_adopted) || !Database())
        return m_waiting;
    if (!m_adopted) {
        Adopt();
        if (!m_database || m_waiting == 0)
            return m_waiting;
    }
    for (const auto& [key, end] : m_ends) {
        if (!Send(key.first, key.second))
            return m_waiting;
    }
    m_waiting = 0;
    return 0;
}

posix::Status SpooledRecord::Walk(Chain chain, const RowQuery& query,
                                  const std::function<bool(const ChainRow&)>& visit) {
    if (!Database())
        return posix::SystemError::Because("the database is unreachable");
    return m_database->Walk(chain, query, visit);
}

posix::Result<std::vector<ChainRow>> SpooledRecord::Newest(const PageQuery& query) {
    if (!Database())
        return posix::SystemError::Because("the database is unreachable");
    return m_database->Newest(query);
}

}  // namespace record::store
