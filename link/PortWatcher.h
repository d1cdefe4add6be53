#pragma once

// Tells the panel when serial ports may have come or gone: udev's device events, and changes of
// the port map's folder. Outside a port folder it has the map follow the devices, so that a
// number stays with its device. Event-driven: nothing wakes while nothing happens.
//
// A burst of device events leads to one look at the devices, and a storm to a few a second at
// most; the devices are enumerated on a thread of the watcher's own, never on the UI thread.
//
// Thread: the UI thread (the enumeration aside).

#include <QFileSystemWatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/serial/DeviceMonitor.h"
#include "platform/serial/PortMap.h"

namespace scale_link {

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
    // The port folder was removed and made again; portsChanged follows.
    void folderMadeAgain();

  private:
    void OnDeviceEvents();
    // Looks at the devices once the burst has settled, and no sooner after the last look than
    // its cost allows.
    void PlanLook();
    void StartLook();
    void OnLookDone();
    void OnFolderChanged(const QString& path);
    // Watches the port folder when it exists, and the nearest folder above it that exists, so
    // that a folder removed and made again is watched again. True when the port folder's
    // watch has just been taken up (again).
    bool WatchFolder();

    serial_port::PortMap& m_ports;
    Sources m_sources;
    bool m_following = false;
    std::unique_ptr<serial_port::DeviceEventSource> m_events;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_lookTimer;
    std::thread m_look;      // the enumeration in progress; joined by the UI thread
    bool m_changed = false;  // events came that no look has seen yet
    std::chrono::steady_clock::time_point m_lastLookEnd;
    std::chrono::steady_clock::duration m_lastLookCost{};  // written by m_look before it ends
    QString m_folderPath;
    QString m_above;  // the watched folder above it
    QFileSystemWatcher m_folder;
};

}  // namespace scale_link
