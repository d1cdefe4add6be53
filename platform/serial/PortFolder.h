#pragma once

// A port folder: COMn is the entry named COMn in it (a link to a device or pseudo-terminal, or a
// device node), and no other port exists. Always looked at as it is now.
//
// Whoever can change the folder decides which line the panel talks to. So it names ports only
// while it and every folder and link on its way belong to the running user or root and no one
// else can write them (sticky folders such as /tmp excepted), checked at every look: a folder
// removed and made again by someone else names none.

#include <optional>
#include <string>
#include <vector>

#include "platform/serial/PortNames.h"

namespace serial_port {

// Why `folder` names no port although it exists (who else could change it, or that it cannot be
// checked), or empty when it may be used or does not exist.
std::string FolderUntrusted(const std::string& folder);

// The path of COMn's entry in `folder` when what it names exists (a link to a pseudo-terminal
// whose peer went away is a port that went away); nullopt else, always outside 1..32 and in a
// folder that cannot be trusted.
std::optional<std::string> FolderEntry(const std::string& folder, unsigned n);

// Every entry that counts, by number, each described by what kind of file it is.
std::vector<PortInfo> FolderPorts(const std::string& folder);

}  // namespace serial_port
