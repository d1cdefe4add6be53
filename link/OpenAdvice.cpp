#include "link/OpenAdvice.h"

#include "platform/posix/Printable.h"
#include "platform/serial/DeviceAccess.h"

namespace scale_link {
namespace {

// "crw-rw----"-like letters for the permission bits.
std::string ModeText(unsigned mode) {
    std::string text;
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += (mode >> shift & 4) ? 'r' : '-';
        text += (mode >> shift & 2) ? 'w' : '-';
        text += (mode >> shift & 1) ? 'x' : '-';
    }
    return text;
}

// Naming a group helps only when its members may read and write the device and it is not root.
std::string PermissionAdvice(const std::string& path, std::string_view programName) {
    const std::string program(programName);
    const auto access = serial_port::ReadDeviceAccess(path);
    if (!access)
        return "Permission denied for " + path + ".";
    const std::string& group = access->group;
    if (access->groupMayReadWrite && !access->groupIsRoot) {
        if (access->processInGroup)
            return "Permission denied for " + path + " although " + program +
                   " runs with its group '" + group +
                   "', which may read and write it: an access list or a security policy "
                   "refuses it; ask the administrator.";
        if (access->accountInGroup && !access->processInGroup)
            return "Permission denied for " + path + ". Members of the group '" + group +
                   "' may open it, and your user is one, but this session began before it "
                   "joined: log out and in again, or start " +
                   program + " with: sg " + group + " " + program;
        return "Permission denied for " + path + ", which belongs to group '" + group +
               "': add your user to that group (sudo usermod -aG " + group +
               " $USER), then log out and in again.";
    }
    std::string who;
    if (access->ownerMayReadWrite && access->groupMayReadWrite)
        who = "the user '" + access->owner + "' and the group '" + group + "'";
    else if (access->ownerMayReadWrite)
        who = "the user '" + access->owner + "'";
    else
        who = "the administrator (root)";
    std::string kernelName = access->device;
    if (kernelName.starts_with("/dev/"))
        kernelName.erase(0, 5);
    else
        kernelName = kernelName.substr(kernelName.rfind('/') + 1);
    const std::string match = access->usbVendor.empty()
                                  ? "KERNEL==\"" + kernelName + "\""
                                  : "ATTRS{idVendor}==\"" + access->usbVendor +
                                        "\", ATTRS{idProduct}==\"" + access->usbProduct + "\"";
    return "Permission denied for " + path + ": only " + who + " may open it (owner " +
           access->owner + ", group " + group + ", " + ModeText(access->mode) +
           "). To let your user open it, have the administrator add a udev rule, for example "
           "the line\n  SUBSYSTEM==\"tty\", " +
           match +
           ", TAG+=\"uaccess\"\nin /etc/udev/rules.d/70-serial-scale.rules (the user at the "
           "seat may then open it; GROUP=\"dialout\", MODE=\"0660\" instead lets that group's "
           "members), then plug the device in again; or run " +
           program + " as a user who may open it.";
}

std::string BusyAdvice(const std::string& name, const std::string& path) {
    const std::string port = name == path ? path : path + " (" + name + ")";
    const auto holder = serial_port::FindDeviceHolder(path);
    if (!holder)
        return port +
               " is in use by another program (which one is not visible to this user). Close "
               "it there, then try again.";
    return port + " is in use by another program: " +
           (holder->program.empty() ? std::string("?") : holder->program) + " (process " +
           std::to_string(holder->pid) + " of user '" + holder->user +
           "'). Close it there, then try again.";
}

}  // namespace

std::string ExplainOpenFailure(const serial_port::PortMap& ports, int portNumber,
                               const serial_port::PortError& error, std::string_view program) {
    using serial_port::ErrorKind;
    if (portNumber <= 0 || !serial_port::IsPortNumber(static_cast<unsigned>(portNumber)))
        return serial_port::PortName(portNumber) +
               " is not a port. Choose a port in the list first.";
    if (std::string refused = FolderRefusalText(ports); !refused.empty())
        return refused;
    const unsigned n = static_cast<unsigned>(portNumber);
    const std::string path = ports.Resolve(n).value_or("");
    const std::string name = ports.NameOf(n);
    switch (error.kind) {
        case ErrorKind::kPermissionDenied:
            return PermissionAdvice(path, program);
        case ErrorKind::kBusy:
            return BusyAdvice(name, path);
        case ErrorKind::kNotFound:
        case ErrorKind::kDeviceGone:
            if (path.empty())
                return "There is no " + name + " on this machine (no such device).";
            if (name == path)
                return path + " does not exist (no such device; unplugged?).";
            return name + " stands for " + path +
                   ", which does not exist (no such device; unplugged?).";
        case ErrorKind::kNone:
            return name + " could not be opened.";
        default:
            return ports.NameWithDevice(n, path) + ": " + error.Describe();
    }
}

std::string FolderRefusalText(const serial_port::PortMap& ports) {
    const std::string why = ports.FolderRefusal();
    if (why.empty())
        return {};
    return "No port of the port folder " + posix::Printable(ports.Folder()) + " is opened: " + why +
           ". Another user could point its COM entries at a line of their own. Use a folder "
           "that only you (or root) own and can write (chmod go-w).";
}

void ScanFailures::Note(const serial_port::PortMap& ports, int port,
                        const serial_port::PortError& error) {
    if (error.kind == serial_port::ErrorKind::kNotFound || !error.Failed())
        return;
    if (const auto device = ports.Resolve(static_cast<unsigned>(port)))
        m_failures[port] = {*device, ExplainOpenFailure(ports, port, error, m_program)};
}

std::string ScanFailures::Reason(const serial_port::PortMap& ports, int port) const {
    const auto failed = m_failures.find(port);
    if (failed == m_failures.end())
        return {};
    const auto device = ports.Resolve(static_cast<unsigned>(port));
    return device && *device == failed->second.device ? failed->second.reason : std::string();
}

std::map<int, std::string> ScanFailures::Reasons(const serial_port::PortMap& ports) const {
    std::map<int, std::string> reasons;
    for (const auto& [port, failure] : m_failures) {
        if (std::string reason = Reason(ports, port); !reason.empty())
            reasons[port] = std::move(reason);
    }
    return reasons;
}

}  // namespace scale_link
