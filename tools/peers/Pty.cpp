#include "tools/peers/Pty.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace testing_support {

serial_port::PseudoTerminal MakePty() {
    std::string error;
    auto pty = serial_port::PseudoTerminal::Create(&error);
    if (!pty)
        throw std::runtime_error("cannot create a pseudo-terminal: " + error);
    return std::move(*pty);
}

}  // namespace testing_support
