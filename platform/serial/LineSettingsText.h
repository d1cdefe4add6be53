#pragma once

// Line settings written as text, e.g. "baud=9600 parity=N data=8 stop=1".

#include <string_view>

#include "platform/serial/PortTypes.h"

namespace serial_port {

// Applies the settings named in `text` over `state`. Keys (baud, parity, data, stop) may come in
// any order, each at most once, separated by blanks; keys and the parity letter (N, E, O, M, S)
// are not case-sensitive. Refused, leaving `state` as it was: an unknown key or value, a baud
// rate the driver does not know, data bits outside 5..8, 1.5 stop bits without 5 data bits, 2
// stop bits with 5 data bits, an empty text. Nothing is guessed.
bool ApplyLineSettingsText(std::string_view text, LineState& state);

}  // namespace serial_port
