#pragma once

// Typing through a virtual keyboard that the kernel's uinput makes (libevdev): it works in any
// session and on the text console. Figures, the sign and the decimal sign come from the keypad,
// whose keys mean the same under every layout; space, Tab and Enter from their own keys. Other
// characters are refused.
//
// Thread: see KeySink.h.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wedge/KeySink.h"

struct libevdev;
struct libevdev_uinput;

namespace wedge {

// The group the package's udev rule gives /dev/uinput to.
inline constexpr std::string_view kUinputGroup = "karvel-typing";

// The input event code of each stroke; nullopt, with `error` set, when one has no key here.
std::optional<std::vector<unsigned>> UinputKeys(const Strokes& strokes, std::string* error);

// What the user is told when `path` cannot be opened for writing with `errnoValue`.
std::string UinputOpenError(const std::string& path, int errnoValue);

class UinputSink final : public KeySink {
  public:
    // Makes the virtual keyboard on `path`; nullptr, with `error` set, when it cannot.
    static std::unique_ptr<UinputSink> Open(const std::string& path, std::string* error);
    ~UinputSink() override;

    std::string CannotType(const Strokes& strokes) const override;
    bool Type(const Stroke& stroke, std::string* error) override;

  private:
    struct Device;
    explicit UinputSink(std::unique_ptr<Device> device);

    std::unique_ptr<Device> m_device;
};

}  // namespace wedge
