#pragma once

// A private X server (Xvfb) for one test: its display name, and the server ended with the
// object. Keys reach the window under the pointer (no window manager sets the focus).

#include <sys/types.h>

#include <optional>
#include <string>

namespace testing_support {

class XServer {
  public:
    // Starts Xvfb and waits until it takes clients; Display() is empty when it could not.
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N", or empty when there is no server.
    const std::string& Display() const { return m_display; }
    // Why there is no server, for GTEST_SKIP.
    const std::string& Why() const { return m_why; }
    // Runs setxkbmap with `layout` on this server; true when it took it.
    bool SetLayout(const std::string& layout) const;

  private:
    pid_t m_pid = -1;
    std::string m_display;
    std::string m_why;
};

}  // namespace testing_support
