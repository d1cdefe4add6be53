#pragma once

// What the typing tests do to the X server themselves, kept apart from GoogleTest (Xlib's
// macros clash with its names): the pointer, a key held down, the keyboard map.

#include <memory>
#include <string>
#include <vector>

namespace wedgetest {

class XClient {
  public:
    // Connects to `display`; Connected() is false when it could not.
    explicit XClient(const std::string& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool Connected() const;
    void MovePointer(int x, int y);
    // Whether a window other than the root is under the pointer.
    bool WindowUnderPointer();
    // Whether a shown top-level window's title holds `title`.
    bool Shows(const std::string& title);
    // Gives the keyboard focus to the shown top-level window whose title holds `title`; false
    // when there is none.
    bool Focus(const std::string& title);
    // Presses or releases Shift through XTEST, as a user's hand would.
    void Shift(bool down);
    // Caps Lock on or off, as the user's key leaves it; whether it is on.
    void SetCapsLock(bool on);
    bool CapsLock();
    // Every keysym of every key.
    std::vector<unsigned long> KeyboardMap();

  private:
    unsigned long WindowTitled(const std::string& title);
    struct Connection;
    std::unique_ptr<Connection> m_x;
};

}  // namespace wedgetest
