#pragma once

// Tells the panel when serial ports may have come or gone: udev's device events, and changes of
// the port folder (KARVEL_PORT_DIR). Outside a port folder it keeps the COM numbers' table live,
// so that a number stays with its device. Event-driven: nothing wakes while nothing happens.
//
// Thread: the UI thread.

#include <QFileSystemWatcher>
#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

#include "platform/serial/DeviceMonitor.h"
#include "platform/serial/PortTable.h"

class PortWatcher : public QObject {
    Q_OBJECT
  public:
    struct Sources {
        // default: serial_port::OpenUdevMonitor; nullptr from it: no device events
        std::function<std::unique_ptr<serial_port::DeviceEventSource>()> openEvents;
        // default: serial_port::FindSerialDevices
        serial_port::PortTable::Enumerate enumerate;
    };

    explicit PortWatcher(Sources sources, QObject* parent = nullptr);
    ~PortWatcher() override;

    // Looks at the ports once and starts watching.
    void Start();
    // Whether device events arrive (udev could be reached).
    bool FollowsDevices() const { return m_events != nullptr; }

  signals:
    void portsChanged();

  private:
    void OnDeviceEvents();

    Sources m_sources;
    bool m_portFolder = false;
    std::unique_ptr<serial_port::DeviceEventSource> m_events;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<serial_port::PortTable> m_table;
    QFileSystemWatcher m_folder;
};
