#pragma once

// Tells the panel when serial ports may have come or gone: udev's device events, and changes of
// the port map's folder. Outside a port folder it has the map follow the devices, so that a
// number stays with its device. Event-driven: nothing wakes while nothing happens.
//
// Thread: the UI thread.

#include <QFileSystemWatcher>
#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

#include "platform/serial/DeviceMonitor.h"
#include "platform/serial/PortMap.h"

class PortWatcher : public QObject {
    Q_OBJECT
  public:
    struct Sources {
        // default: serial_port::OpenUdevMonitor; nullptr from it: no device events
        std::function<std::unique_ptr<serial_port::DeviceEventSource>()> openEvents;
        // default: serial_port::FindSerialDevices
        serial_port::DeviceEnumerator enumerate;
    };

    // `ports` outlives the watcher.
    PortWatcher(serial_port::PortMap& ports, Sources sources, QObject* parent = nullptr);
    ~PortWatcher() override;

    // Looks at the ports once and starts watching.
    void Start();
    // Whether device events arrive (udev could be reached).
    bool FollowsDevices() const { return m_events != nullptr; }

  signals:
    void portsChanged();

  private:
    void OnDeviceEvents();

    serial_port::PortMap& m_ports;
    Sources m_sources;
    bool m_following = false;
    std::unique_ptr<serial_port::DeviceEventSource> m_events;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QFileSystemWatcher m_folder;
};
