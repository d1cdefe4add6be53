#include "PortWatcher.h"

#include <utility>

PortWatcher::PortWatcher(Sources sources, QObject* parent)
    : QObject(parent), m_sources(std::move(sources)) {
    if (!m_sources.openEvents)
        m_sources.openEvents = [] { return serial_port::OpenUdevMonitor(); };
    if (!m_sources.enumerate)
        m_sources.enumerate = serial_port::FindSerialDevices;
}

PortWatcher::~PortWatcher() {
    if (m_table && serial_port::LivePortTable() == m_table.get())
        serial_port::SetLivePortTable(nullptr);
}

void PortWatcher::Start() {
    const QString folder = qEnvironmentVariable("KARVEL_PORT_DIR");
    m_portFolder = !folder.isEmpty();
    if (m_portFolder) {
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
    if (!m_portFolder) {
        m_table = std::make_unique<serial_port::PortTable>(m_sources.enumerate);
        m_table->Refresh();
        serial_port::SetLivePortTable(m_table.get());
    }
}

void PortWatcher::OnDeviceEvents() {
    if (m_events->TakeEvents().empty())
        return;
    if (m_table)
        m_table->Refresh();
    emit portsChanged();
}
