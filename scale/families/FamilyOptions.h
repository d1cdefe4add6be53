#pragma once

// The options that say where the scale is and what it speaks, shared by Karvel and karvel-read:
// --port, --protocol, --line and --pattern. Plain C++.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cli/OptionTable.h"
#include "platform/posix/Result.h"
#include "scale/Protocol.h"

namespace scale::families {

struct FamilyOptions {
    std::string protocol;  // a family's name or "auto"; empty: the probe scan
    std::optional<scale::LineSettings> line;
    std::string pattern;
    bool Enabled() const { return !protocol.empty(); }
};

// --port COMn|PATH: COM1 to COM32 (any letter case; kept in upper case) or a path (anything with
// a slash). `help` is the program's own words for it; a value `ownWire` names is kept as written
// (a wire of the program's own, checked by it).
void AddPortOption(cli::OptionTable& table, std::string& port, std::string help,
                   std::function<bool(std::string_view)> ownWire = {});
// --protocol, --line and --pattern.
void AddFamilyOptions(cli::OptionTable& table, FamilyOptions& options);
// What is wrong with the combination, if anything.
posix::Status CheckFamilyOptions(const FamilyOptions& options);

}  // namespace scale::families
