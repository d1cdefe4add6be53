#pragma once

// Standard output for readings: whole lines, written at once. A reader whose output pipe was
// closed stops writing and says so to its owner, quietly (SIGPIPE must be ignored).
//
// Output never blocks the reader: a line that a pipe or socket cannot take at once is dropped
// and counted, and `say` is told when dropping begins and how many were dropped once lines go
// out again. A file or a terminal is written as before.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace record {

class Output {
  public:
    using Say = std::function<void(const std::string&)>;
    explicit Output(int fd = 1, Say say = {});
    // False once the other end has gone (EPIPE) or the descriptor failed. A dropped line is no
    // failure.
    bool Write(std::string_view text);
    bool Closed() const { return m_closed; }
    // Lines dropped since the last time dropping was told of as ended.
    std::uint64_t Dropped() const { return m_dropped; }
    // Tells how many lines were dropped, if any were since the last word of it.
    void TellDropped();
    // True when the descriptor is a regular file that already holds something (">>" onto a
    // log): what is written goes after what is there.
    bool HoldsData() const;

  private:
    bool Writable() const;

    int m_fd;
    Say m_say;
    bool m_mayBlock = false;  // a pipe or a socket: a full one would stop the reader
    bool m_closed = false;
    std::uint64_t m_dropped = 0;
};

}  // namespace record
