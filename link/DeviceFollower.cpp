#include "link/DeviceFollower.h"

#include <utility>

#include "platform/serial/DeviceAccess.h"

namespace scale_link {
DeviceFollower::DeviceFollower(const serial_port::PortMap& ports, std::function<void()> retry)
    : m_ports(ports) {
    m_retry.setSingleShot(true);
    QObject::connect(&m_retry, &QTimer::timeout, &m_retry, std::move(retry));
}

void DeviceFollower::Opened(int port, const std::string& device) {
    m_current = {port, device, {}, {}, serial_port::CanonicalPath(device), false};
    for (const serial_port::PortInfo& info : m_ports.List()) {
        if (static_cast<int>(info.number) == port && info.device == device) {
            m_current.identity = info.identity;
            m_current.byId = info.byId;
        }
    }
}

bool DeviceFollower::EntryMoved() const {
    if (!m_current.folderMadeAgain || m_ports.Folder().empty() || m_current.port == 0 || m_lost)
        return false;
    const auto entry = m_ports.Resolve(static_cast<unsigned>(m_current.port));
    return entry && *entry == m_current.device &&
           serial_port::CanonicalPath(*entry) != m_current.target;
}

void DeviceFollower::Lost(int port) {
    if (m_current.port == port)
        m_lost = m_current;
}

void DeviceFollower::Forget() {
    m_lost.reset();
    m_retry.stop();
}

int DeviceFollower::PortNow() const {
    if (!m_lost)
        return 0;
    int port = 0;
    for (const serial_port::PortInfo& info : m_ports.List()) {
        if (m_lost->identity.empty() ? info.device == m_lost->device
                                     : info.identity == m_lost->identity)
            port = static_cast<int>(info.number);
    }
    return port;
}

bool DeviceFollower::OpenFailed() {
    if (++m_tries >= kReconnectTries)
        return false;
    m_retry.start(kReconnectRetry);
    return true;
}

}  // namespace scale_link
