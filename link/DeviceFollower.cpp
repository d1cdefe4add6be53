#include "link/DeviceFollower.h"

#include <algorithm>
#include <utility>

#include "platform/net/WireAddress.h"
#include "platform/serial/DeviceAccess.h"

namespace scale_link {
DeviceFollower::DeviceFollower(const serial_port::PortMap& ports, std::function<void()> retry)
    : m_ports(ports) {
    m_retry.setSingleShot(true);
    QObject::connect(&m_retry, &QTimer::timeout, &m_retry, std::move(retry));
}

void DeviceFollower::Opened(int port, const std::string& device) {
    const bool network = net::NamesWire(device);
    m_current = {port,  device, {}, {}, network ? device : serial_port::CanonicalPath(device),
                 false, network};
    m_openedAt = std::chrono::steady_clock::now();
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
    if (m_current.port != port)
        return;
    m_lost = m_current;
    if (m_current.network)
        m_tries = std::chrono::steady_clock::now() - m_openedAt >= kNetworkLived ? 0 : m_tries + 1;
}

void DeviceFollower::ResetTries() {
    if (!m_current.network)
        m_tries = 0;
}

std::chrono::milliseconds NetworkBackOff(int tries) {
    const int doublings = std::clamp(tries - 1, 0, 5);
    return std::min<std::chrono::milliseconds>(kReconnectRetry * (1 << doublings),
                                               kNetworkRetryMost);
}

RetryPace::RetryPace(std::function<void()> retry) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, std::move(retry));
}

void RetryPace::Lost() {
    const bool lived = std::chrono::steady_clock::now() - m_backAt >= kNetworkLived;
    m_tries = lived ? 0 : m_tries + 1;
    m_timer.start(lived ? std::chrono::milliseconds(0) : NetworkBackOff(m_tries));
}

void RetryPace::Failed() {
    m_timer.start(NetworkBackOff(++m_tries));
}

std::chrono::milliseconds DeviceFollower::BackOff() const {
    return NetworkBackOff(m_tries);
}

bool DeviceFollower::Postponed() {
    if (!m_current.network || m_tries == 0)
        return false;
    m_retry.start(BackOff());
    return true;
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
    if (m_current.network) {
        ++m_tries;
        m_retry.start(BackOff());
        return true;
    }
    if (++m_tries >= kReconnectTries)
        return false;
    m_retry.start(kReconnectRetry);
    return true;
}

}  // namespace scale_link
