#pragma once

#include <utility>

namespace posix {

// Owns one file descriptor and closes it on destruction.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // Closes now; returns the errno value of a failed close, or 0.
    int Reset();
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(m_fd, -1); }

  private:
    int m_fd = -1;
};

}  // namespace posix
