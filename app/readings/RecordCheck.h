#pragma once

// "Verify record..." off the UI thread: the record is opened again to read and walked on a thread
// of its own, so the panel and its windows stay live while a long chain is checked, and the
// verdict is handed back to the UI thread. One walk at a time.
//
// Thread: UI thread only; `done` is called there.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "platform/posix/Result.h"
#include "platform/window/Inbox.h"
#include "record/store/Verify.h"
#include "record/store/WeighingRecord.h"

class RecordCheck {
  public:
    // Opens the record to read; called on the walk's thread.
    using Open = std::function<posix::Result<std::unique_ptr<record::store::WeighingRecord>>()>;
    using Done = std::function<void(const posix::Result<record::store::Verdict>& verdict)>;

    explicit RecordCheck(Open open) : m_open(std::move(open)) {}
    // Stops a walk under way at its next row and waits for its thread; its `done` is not called.
    ~RecordCheck();
    RecordCheck(const RecordCheck&) = delete;
    RecordCheck& operator=(const RecordCheck&) = delete;

    // Starts a walk; `done` follows from the event loop, unless this goes first. False while one
    // runs, or when no thread could be had for it.
    bool Start(Done done);
    bool Running() const { return m_running; }

  private:
    Open m_open;
    window::Inbox m_inbox;  // what the verdict is handed back through; outlives the thread
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    bool m_running = false;
};
