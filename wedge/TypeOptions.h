#pragma once

// The --type options that karvel-read and Karvel share, and the choice of back-end they lead to.
// Plain C++.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "wedge/KeySequence.h"

namespace wedge {

enum class Via { kAuto, kX11, kPortal, kUinput };

struct TypeOptions {
    bool enabled = false;  // --type
    std::string format = std::string(kDefaultFormat);
    bool formatGiven = false;
    char decimal = '.';
    Via via = Via::kAuto;
};

// What the choice of back-end reads from the environment, read once by the program.
struct Session {
    std::string display;         // DISPLAY
    std::string waylandDisplay;  // WAYLAND_DISPLAY
    std::string sessionType;     // XDG_SESSION_TYPE

    static Session FromProcess();
};

// Takes the --type option at args[at] (and its value). Returns how many arguments it used: 0
// when args[at] is no --type option; with `error` set when its value is bad.
std::size_t TakeTypeOption(std::span<const std::string_view> args, std::size_t at,
                           TypeOptions& options, std::string* error);

std::string_view ViaName(Via via);

// auto: the portal on a Wayland session, x11 where DISPLAY is set, else uinput. An explicit
// back-end is kept as it is.
Via Choose(Via via, const Session& session);

// The lines --help prints for these options.
std::string TypeUsage();

}  // namespace wedge
