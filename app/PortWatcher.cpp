#include "PortWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    m_folderPath = QFile::decodeName(QByteArray::fromStdString(m_ports.Folder()));
    const bool portFolder = !m_folderPath.isEmpty();
    if (portFolder) {
        m_folderPath = QDir::cleanPath(QFileInfo(m_folderPath).absoluteFilePath());
        WatchFolder();
        connect(&m_folder, &QFileSystemWatcher::directoryChanged, this,
                &PortWatcher::OnFolderChanged);
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

void PortWatcher::OnFolderChanged(const QString& path) {
    // A change above the folder matters only when the folder came back.
    if (WatchFolder() || path == m_folderPath)
        emit portsChanged();
}

bool PortWatcher::WatchFolder() {
    bool taken = false;
    // A removed folder has left the watcher by itself.
    if (!m_folder.directories().contains(m_folderPath) && QFileInfo(m_folderPath).isDir())
        taken = m_folder.addPath(m_folderPath);
    QString above = QFileInfo(m_folderPath).absolutePath();
    while (!QFileInfo(above).isDir() && above != QDir::rootPath())
        above = QFileInfo(above).absolutePath();
    if (above != m_above || !m_folder.directories().contains(above)) {
        if (!m_above.isEmpty())
            m_folder.removePath(m_above);
        m_above = above;
        m_folder.addPath(m_above);
    }
    return taken;
}
