#pragma once

// The reader's link to one scale, built on the same pieces as the panel: the scale's frame
// window and probe answer, the port map and its watcher. The port itself is read in bulk. It finds
// the scale by the same probe of COM1..COM32 (the first port that answers 0x05 with 0x06 0xAA
// within 150 ms), or probes only a chosen port; follows hot-plug and opens the same device again
// when it comes back, as the panel does.
//
// Thread: the thread that made it (with a QCoreApplication); events are called there too.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/PortWatcher.h"
#include "platform/serial/PortMap.h"
#include "read/DirectPort.h"
#include "scale/FrameObserver.h"
#include "scale/FrameWindow.h"

namespace reader {

class ScaleLink : public QObject {
  public:
    struct Events {
        std::function<void(const scale::Frame&)> frame;
        std::function<void(std::uint8_t byte, bool frameStart)> byte;  // every received byte
        std::function<void(const scale::PortState&)> portState;
        std::function<void(const std::string&)> say;
    };

    // `ports` outlives the link.
    ScaleLink(serial_port::PortMap& ports, Events events);
    ~ScaleLink() override;

    // Probes `onlyPort` (a number from PortMap::Choose), or COM1..COM32 when 0; the port whose
    // scale answered (kept open and watched), else 0.
    int Find(unsigned onlyPort);
    // Opens and watches `onlyPort`, or the first port that opens when 0, without probing.
    int OpenUnprobed(unsigned onlyPort);
    bool SendKey(std::uint8_t byte);

    int Port() const { return m_port; }
    const std::string& Device() const { return m_device; }
    // The device's lasting name (by-id), when it has one.
    const std::string& ByIdName() const { return m_byId; }
    // Why the last port that was tried could not be opened, when it could not.
    const std::string& OpenFailure() const { return m_openFailure; }

  private:
    void OnBytes(std::span<const std::uint8_t> bytes);
    void DeliverHeld();
    void OnByte(std::uint8_t byte);
    bool OpenWatched(unsigned port);
    bool Probe(unsigned port);
    // Sends the probe and reads until the answer has come or the probe's time is up.
    bool AwaitAnswer();
    // The first of `onlyPort` (or COM1..COM32 when 0) that `take` keeps; 0 when none.
    int FirstPort(unsigned onlyPort, const std::function<bool(unsigned)>& take);
    void Kept(unsigned port);
    void OnDeviceLost(const std::string& why);
    void TryReconnect();

    serial_port::PortMap& m_ports;
    Events m_events;
    DirectPort m_link;
    scale::FrameWindow m_window;
    scale::ProbeAnswer m_probe;
    PortWatcher m_watcher;
    QTimer m_retry;
    int m_retries = 0;
    int m_port = 0;
    std::string m_device;
    std::string m_identity;
    std::string m_byId;
    std::string m_openFailure;
    bool m_lost = false;
    int m_bytesAfterAnswer = 1 << 20;  // since the probe's answer arrived
    bool m_probing = false;
    // What came after the probe's answer in the same read: handed on from the event loop, once
    // whoever asked for the probe is ready for readings.
    std::vector<std::uint8_t> m_held;
};

}  // namespace reader
