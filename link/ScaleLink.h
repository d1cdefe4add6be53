#pragma once

// A program's link to one scale without the panel's engine (the reader's), read in bulk: finds
// the scale by the probe of COM1..COM32 (the first port that answers 0x05 with 0x06 0xAA within
// the probe's wait), or probes only a chosen port; follows hot-plug and opens the same device
// again when it comes back. Only frames the scale sent as they stand are told: none made of
// bytes from before the port was opened, nor of the probe's answer.
//
// Thread: the thread that made it (with a QCoreApplication); events are called there too.

#include <QObject>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link/DeviceFollower.h"
#include "link/DirectPort.h"
#include "link/OpenAdvice.h"
#include "link/PortWatcher.h"
#include "platform/serial/PortMap.h"
#include "scale/FrameObserver.h"
#include "scale/FrameWindow.h"

namespace scale_link {

class ScaleLink : public QObject {
  public:
    struct Events {
        std::function<void(const scale::Frame&)> frame;
        std::function<void(std::uint8_t byte, bool frameStart)> byte;  // every received byte
        std::function<void(const scale::PortState&)> portState;
        std::function<void(const std::string&)> say;
    };

    // `ports` outlives the link; `program` is the name the user starts the program by (for
    // advice that names it).
    ScaleLink(serial_port::PortMap& ports, Events events, std::string program);
    ~ScaleLink() override;

    // Probes `onlyPort` (a number from PortMap::Choose), or COM1..COM32 when 0; the port whose
    // scale answered (kept open and watched), else 0.
    int Find(unsigned onlyPort);
    // Opens and watches `onlyPort`, or the first port that opens when 0, without probing.
    int OpenUnprobed(unsigned onlyPort);
    // Never waits: while the scale takes no keys in, they wait up to kKeyQueueBound and more
    // are dropped, said when it begins and counted when it ends. False when not sent.
    bool SendKey(std::uint8_t byte);
    // Says how many keys were dropped since it was last said, if any.
    void TellDroppedKeys();

    int Port() const { return m_port; }
    const std::string& Device() const { return m_follower.Current().device; }
    // What the user calls the port (PortMap::NameOf), and that with its device.
    std::string Name() const;
    std::string Named() const;
    // The device's lasting name (by-id), when it has one.
    const std::string& ByIdName() const { return m_follower.Current().byId; }
    // Why the last port that was tried could not be opened, when it could not.
    const std::string& OpenFailure() const { return m_openFailure; }
    // The same with what the user can do about it.
    std::string OpenAdvice() const;
    // The ports that the latest Find could not open although they exist.
    const ScanFailures& FindFailures() const { return m_findFailures; }

  private:
    void OnBytes(std::span<const std::uint8_t> bytes);
    void DeliverHeld();
    void OnByte(std::uint8_t byte);
    bool OpenWatched(int port);
    bool Probe(int port);
    // Sends the probe and reads until the answer has come or the probe's time is up.
    bool AwaitAnswer();
    int Kept(int port);
    void OnDeviceLost(const std::string& why);
    void TryReconnect();
    // The port folder's entry leads to another device (DeviceFollower::EntryMoved).
    void LeaveMovedEntry();

    serial_port::PortMap& m_ports;
    Events m_events;
    std::string m_program;
    DirectPort m_link;
    scale::FrameWindow m_window;
    scale::ProbeAnswer m_probe;
    PortWatcher m_watcher;
    DeviceFollower m_follower;
    int m_port = 0;
    int m_tried = 0;  // the port opened last, or tried last
    std::string m_openFailure;
    serial_port::PortError m_openError;
    ScanFailures m_findFailures;
    bool m_probing = false;
    std::uint64_t m_keysDropped = 0;
    // What came after the probe's answer in the same read: handed on from the event loop, once
    // whoever asked for the probe is ready for readings.
    std::vector<std::uint8_t> m_held;
};

}  // namespace scale_link
