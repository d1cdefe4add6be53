#pragma once

// Typing through the X server's XTEST extension. Each character is looked up in the running
// keyboard map (its key and the Shift or AltGr level it needs), so the text comes out right
// under any layout; a character the map lacks is typed through a spare key that is given it for
// the moment and then cleared again.
//
// Thread: see KeySink.h; the display connection is used by one thread at a time.

#include <memory>
#include <optional>
#include <string>

#include "wedge/KeySink.h"

namespace wedge {

class X11Sink final : public KeySink {
  public:
    // Connects to `display` (DISPLAY's value); nullptr, with `error` set, when it cannot type
    // there.
    static std::unique_ptr<X11Sink> Open(const std::string& display, std::string* error);
    ~X11Sink() override;

    std::string CannotType(const Strokes&) const override { return {}; }
    bool Type(const Stroke& stroke, std::string* error) override;
    // Any key down in the server's keymap: the user's, since every key typed here is released.
    bool UserHoldsKey() override;
    // The focus window; where the keys follow the pointer, the top-level window under it.
    std::optional<unsigned long> Focus() override;

  private:
    struct Connection;
    explicit X11Sink(std::unique_ptr<Connection> connection);

    std::unique_ptr<Connection> m_x;
};

}  // namespace wedge
