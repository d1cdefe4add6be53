#pragma once

// A port folder: COMn is the entry named COMn in it (a link to a device or pseudo-terminal, or a
// device node), and no other port exists. Always looked at as it is now.

#include <optional>
#include <string>
#include <vector>

#include "platform/serial/PortNames.h"

namespace serial_port {

// The path of COMn's entry in `folder` when what it names exists (a link to a pseudo-terminal
// whose peer went away is a port that went away); nullopt else, always outside 1..32.
std::optional<std::string> FolderEntry(const std::string& folder, unsigned n);

// Every entry that counts, by number, each described by what kind of file it is.
std::vector<PortInfo> FolderPorts(const std::string& folder);

}  // namespace serial_port
