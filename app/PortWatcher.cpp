#include "PortWatcher.h"

#include <QFile>

#include <utility>

PortWatcher::PortWatcher(serial_port::PortMap& ports, Sources sources, QObject* parent)
    : QObject(parent), m_ports(ports), m_sources(std::move(sources)) {
    if (!m_sources.openEvents)
        m_sources.openEvents = [] { return serial_port::OpenUdevMonitor(); };
    if (!m_sources.enumerate)
        m_sources.enumerate = serial_port::FindSerialDevices;
}

PortWatcher::~PortWatcher() {
    if (m_following)
        m_ports.StopFollowing();
}

void PortWatcher::Start() {
    const QString folder = QFile::decodeName(QByteArray::fromStdString(m_ports.Folder()));
    const bool portFolder = !folder.isEmpty();
    if (portFolder) {
        m_folder.addPath(folder);
        connect(&m_folder, &QFileSystemWatcher::directoryChanged, this, &PortWatcher::portsChanged);
    }
    // A link in the folder may lead to a device that comes back, so device events count there
    // too.
    m_events = m_sources.openEvents();
    if (!m_events)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_events->Descriptor(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PortWatcher::OnDeviceEvents);
    // Without events a table would not follow the devices; then each look enumerates anew.
    if (!portFolder) {
        m_ports.FollowDevices(m_sources.enumerate);
        m_following = true;
    }
}

void PortWatcher::OnDeviceEvents() {
    if (m_events->TakeEvents().empty())
        return;
    if (m_following)
        m_ports.RefreshDevices();
    emit portsChanged();
}
