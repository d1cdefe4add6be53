#pragma once

// A tap: every burst that comes and goes on a scale's wire, with its time, as text a person
// reads and edits, and sends to whoever helps with a scale they have never seen. One line per
// burst:
//
//   SECONDS DIRECTION BYTES
//   0.812345 > 0a 57 0d
//   0.830112 < 0a 20 31 47 20 20 20 20 20 31 2e 32 35 30 6b 67 20 0d
//
// SECONDS since the tap began (a decimal, any number of places up to nine; kept to the
// microsecond); DIRECTION '<' for bytes that came from the scale, '>' for bytes that went to
// it; BYTES two hex digits each (either case), blank-separated or run together ("0d0a"), at
// least one. From '#' to the end of a line is a comment; blank lines and a CR before the LF
// are allowed. A time lower than the line before begins another run (the file is appended
// to), read on after the first.
//
// Thread: TapFile is safe from any thread (detection opens wires on threads of its own); the
// rest is plain and pure.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/Wire.h"
#include "platform/posix/Result.h"
#include "scale/Protocol.h"

namespace record {
class LogFile;
}

namespace scale_link {

struct TapBurst {
    std::chrono::microseconds at{0};  // from the beginning of the first run
    bool in = true;                   // from the scale
    std::vector<std::uint8_t> bytes;

    bool operator==(const TapBurst&) const = default;
};

// "0.812345 > 0a 57 0d".
std::string TapLine(const TapBurst& burst);

// The bursts of a tap's text, or what is wrong with it ("line 7: 'zz' is no byte in hex").
posix::Result<std::vector<TapBurst>> ParseTap(std::string_view text);

// The tap in the file `path`: what ParseTap makes of it, or why it cannot be read ("FILE line 7:
// ..."). A file that is no regular file, or larger than a tap is, is refused.
posix::Result<std::vector<TapBurst>> ReadTap(const std::string& path);

// The file a tap is written to: appended to, never truncated; a symbolic link, a FIFO or
// anything else that is no regular file is refused, as is a file that cannot be written. Each
// burst is written as it passes (one write, no buffer of our own), so a reader killed keeps
// every burst seen before.
class TapFile {
  public:
    // `say` tells the user, once, that the file stopped taking bursts.
    static posix::Result<std::shared_ptr<TapFile>> Open(const std::string& path,
                                                        std::function<void(std::string)> say);
    ~TapFile();
    TapFile(const TapFile&) = delete;
    TapFile& operator=(const TapFile&) = delete;

    void Burst(bool in, std::span<const std::uint8_t> bytes);
    // A comment line: what was opened, at which settings.
    void Note(const std::string& text);

  private:
    TapFile(std::unique_ptr<record::LogFile> file, std::function<void(std::string)> say);
    void Append(std::string line);

    std::mutex m_lock;
    std::unique_ptr<record::LogFile> m_file;
    std::function<void(std::string)> m_say;
    const std::chrono::steady_clock::time_point m_begun = std::chrono::steady_clock::now();
    bool m_failed = false;  // said already
};

// `wire` with every burst it reads and writes, and each line it is set to, written to `tap`.
std::unique_ptr<Wire> Tapped(std::unique_ptr<Wire> wire, std::shared_ptr<TapFile> tap);

}  // namespace scale_link
