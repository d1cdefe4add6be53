#pragma once

// Pseudo-terminals for the peers that stand at the far end of a COM port.

#include "platform/serial/PseudoTerminal.h"

namespace testing_support {

// A new pseudo-terminal; throws when the system refuses one (the caller then fails loudly).
serial_port::PseudoTerminal MakePty();

}  // namespace testing_support
