#pragma once

// Standard output for readings: whole lines, written at once. A reader whose output pipe was
// closed stops writing and says so to its owner, quietly (SIGPIPE must be ignored).

#include <string_view>

namespace reader {

class Output {
  public:
    explicit Output(int fd = 1) : m_fd(fd) {}
    // False once the other end has gone (EPIPE) or the descriptor failed.
    bool Write(std::string_view text);
    bool Closed() const { return m_closed; }
    // True when the descriptor is a regular file that already holds something (">>" onto a
    // log): what is written goes after what is there.
    bool HoldsData() const;

  private:
    int m_fd;
    bool m_closed = false;
};

}  // namespace reader
