#pragma once

// What a user is told when a port cannot be had: why COMn could not be opened and what to do
// about it (who holds it, or which group or udev rule gives access), why a port folder is
// refused, and which ports a scan could not open. Plain text, the same in every program; the
// facts come from the serial layer.
//
// Thread: any; a ScanFailures is used by one thread at a time.

#include <map>
#include <string>
#include <string_view>

#include "platform/serial/PortError.h"
#include "platform/serial/PortMap.h"

namespace scale_link {

// Why COM`portNumber` of `ports` could not be opened (`error`, as the serial layer reported
// it), with what the user can do about it. `program` is the name the user starts the program
// by, for the advice that names it.
std::string ExplainOpenFailure(const serial_port::PortMap& ports, int portNumber,
                               const serial_port::PortError& error, std::string_view program);

// Why the port folder of `ports` names no port, with what to do about it; empty when it is used
// (or there is none).
std::string FolderRefusalText(const serial_port::PortMap& ports);

// The ports a scan could not open although they exist, each with its explanation, for as long
// as the number stands for the same device.
class ScanFailures {
  public:
    explicit ScanFailures(std::string program) : m_program(std::move(program)) {}

    // Opening COM`port` failed with `error`; an absent port says so already and is not noted.
    void Note(const serial_port::PortMap& ports, int port, const serial_port::PortError& error);
    // Why COM`port` could not be opened, while it stands for the device it stood for then;
    // empty otherwise.
    std::string Reason(const serial_port::PortMap& ports, int port) const;
    bool Empty() const { return m_failures.empty(); }
    // The numbers noted, in order.
    std::map<int, std::string> Reasons(const serial_port::PortMap& ports) const;

  private:
    struct Failure {
        std::string device;
        std::string reason;
    };
    std::string m_program;
    std::map<int, Failure> m_failures;
};

}  // namespace scale_link
