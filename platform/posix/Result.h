#pragma once

// A value or the SystemError that kept it from being made: what every layer's open, start, read
// and write functions return, in place of out-parameters, empty strings that mean success or
// optional "problems".

#include <cassert>
#include <utility>
#include <variant>

#include "platform/posix/SystemError.h"

namespace posix {

template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(SystemError error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool Ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return Ok(); }

    // REQUIRES: Ok().
    T& Value() & {
        assert(Ok());
        return std::get<0>(m_state);
    }
    const T& Value() const& {
        assert(Ok());
        return std::get<0>(m_state);
    }
    T&& Value() && {
        assert(Ok());
        return std::get<0>(std::move(m_state));
    }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }

    // REQUIRES: !Ok().
    const SystemError& Error() const {
        assert(!Ok());
        return std::get<1>(m_state);
    }

  private:
    std::variant<T, SystemError> m_state;
};

// Nothing to hand back but success or why not.
struct Done {};
using Status = Result<Done>;
inline Status Success() { return Done{}; }

}  // namespace posix
