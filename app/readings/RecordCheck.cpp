#include "app/readings/RecordCheck.h"

#include <system_error>
#include <utility>

RecordCheck::~RecordCheck() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool RecordCheck::Start(Done done) {
    if (m_running)
        return false;
    // The walk before has ended: its verdict came back.
    if (m_thread.joinable())
        m_thread.join();
    try {
        m_thread = std::thread([this, open = m_open, done = std::move(done)] {
            auto opened = open();
            const posix::Result<record::store::Verdict> verdict =
                opened ? record::store::Verify(**opened, [this] { return m_stop.load(); })
                       : posix::Result<record::store::Verdict>(opened.Error());
            m_inbox.Post([this, done, verdict] {
                m_running = false;
                done(verdict);
            });
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_running = true;
    return true;
}
