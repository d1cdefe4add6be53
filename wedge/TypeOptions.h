#pragma once

// The --type options that karvel-read and Karvel share, and the choice of back-end they lead to.
// Plain C++.

#include <optional>
#include <string>
#include <string_view>

#include "platform/cli/OptionTable.h"
#include "platform/posix/Environment.h"
#include "wedge/KeySequence.h"

namespace wedge {

enum class Via { kAuto, kX11, kPortal, kUinput };

struct TypeOptions {
    bool enabled = false;  // --type
    std::string format = std::string(kDefaultFormat);
    bool formatGiven = false;
    char decimal = '.';
    Via via = Via::kAuto;
    bool detailGiven = false;  // --type-format, --type-decimal or --type-via was given
};

// What the choice of back-end reads from the environment, read once by the program.
struct Session {
    std::string display;         // DISPLAY
    std::string waylandDisplay;  // WAYLAND_DISPLAY
    std::string sessionType;     // XDG_SESSION_TYPE

    static Session From(const posix::Environment& environment);
    static Session FromProcess();
};

// --type (`help`: the program's own words for it), --type-format, --type-decimal, --type-via.
void AddTypeOptions(cli::OptionTable& table, TypeOptions& options, std::string help);

std::string_view ViaName(Via via);

// auto: the portal on a Wayland session, x11 where DISPLAY is set, else uinput. An explicit
// back-end is kept as it is.
Via Choose(Via via, const Session& session);

}  // namespace wedge
