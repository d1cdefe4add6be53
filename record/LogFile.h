#pragma once

// A file that records are only ever appended to: opened with O_APPEND (so a log rotated by
// copying and truncating goes on at its new end), never truncated, reopened by name on request
// (after a rotation by renaming). Only a regular file is accepted: a symbolic link, a FIFO or a
// device is refused. Each record goes to the file in one write; a record that cannot be written
// (a full disk, a size limit) is kept and written before the next one when the file takes it
// again, up to a bound beyond which the oldest kept records are dropped and counted. The part of
// a record written before the file refused the rest is taken back, so the file (and a file
// rotated away from it) never ends in part of a row.
//
// Plain POSIX, no Qt. Thread: one thread at a time.

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "platform/posix/SystemError.h"

namespace record {

class LogFile {
  public:
    // Opens `path` for appending, creating it (mode 0666 less the umask) when missing. `header`
    // is written first whenever the file is new or empty. Nothing on failure, with the reason
    // in `error` ("/x/y is a FIFO, not a regular file").
    static std::unique_ptr<LogFile> Open(const std::string& path, std::string header,
                                         std::string* error);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    const std::string& Path() const { return m_path; }

    // Writes `record` after what is still kept. False when something is still kept afterwards;
    // LastError then says why.
    bool Append(std::string record);
    // Writes what is kept. True when nothing is kept any more.
    bool Retry();
    bool HasPending() const { return !m_pending.empty(); }
    // Records dropped because too much was kept; counted since the file was opened.
    std::size_t Dropped() const { return m_dropped; }
    // Why the last write or sync failed (the system's text), or empty.
    const posix::SystemError& Failure() const { return m_failure; }
    std::string LastError() const { return m_failure.Describe(); }

    // Asks the system to put what was written since the last call on the disk (fdatasync).
    // False when it could not; a call with nothing written is true at once.
    bool Sync();
    bool NeedsSync() const { return m_unsynced; }

    // Opens the path again (it may now name a new file). On failure the file opened before is
    // kept and written to, and `error` says why.
    bool Reopen(std::string* error);

    // What is kept at most before the oldest records are dropped.
    static constexpr std::size_t kMaxPendingBytes = 4 << 20;

  private:
    LogFile(std::string path, std::string header, int fd);
    void Keep(std::string record);
    bool WriteSome(const std::string& bytes, std::size_t* written);
    void TakeBack(std::size_t* written);

    std::string m_path;
    std::string m_header;
    int m_fd = -1;
    bool m_headerPending = false;  // the file was empty when opened: the header goes first
    std::size_t m_headerWritten = 0;
    std::deque<std::string> m_pending;
    std::size_t m_pendingBytes = 0;
    std::size_t m_frontWritten = 0;  // bytes of the first kept record already in the file
    std::size_t m_dropped = 0;
    bool m_unsynced = false;
    posix::SystemError m_failure;
};

// Writes `bytes` as the whole of the file `path`, as an export does, with the log's refusals: a
// symbolic link (never followed, whoever owns it or the folder), a FIFO, a device or anything
// else that is no regular file is refused. The bytes go to a new file beside `path` that is
// renamed over it once they are on the disk, so a failure leaves the old file whole. A file
// that was there keeps its permissions (its owner becomes the writer); a new one gets 0666 less the
// umask. False with the reason in `error`.
bool ReplaceWhole(const std::string& path, std::string_view bytes, std::string* error);
// False, with the reason in `error`, when ReplaceWhole would refuse `path` as it stands now: known
// before a run's readings are taken, not after.
bool MayReplace(const std::string& path, std::string* error);

// The first line of the regular file `path`, without its line end, read from at most its first
// 4 KB; empty when it is missing or empty, a link or anything but a regular file.
std::string FirstLine(const std::string& path);

}  // namespace record
