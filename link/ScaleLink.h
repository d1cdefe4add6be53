#pragma once

// A program's link to one scale without the panel's engine (the reader's), read in bulk: the
// described frame scan as a Source. Finds the scale by the probe of COM1..COM32 (the first port
// that answers 0x05 with 0x06 0xAA within the probe's wait), or probes only a chosen port and
// reads it all the same when it does not answer; follows hot-plug and opens the same device
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

#include "link/OpenAdvice.h"
#include "link/PortSource.h"
#include "platform/serial/PortMap.h"
#include "scale/FrameObserver.h"
#include "scale/FrameWindow.h"

namespace scale_link {

class ScaleLink : public PortSource {
  public:
    // `ports` outlives the link; `program` is the name the user starts the program by (for
    // advice that names it).
    ScaleLink(serial_port::PortMap& ports, SourceEvents events, std::string program);
    ~ScaleLink() override;

    // Probes; on a chosen port that does not answer, reads it all the same (said).
    posix::Result<int> Find(unsigned only) override;
    posix::Result<int> Open(unsigned only) override;
    std::vector<std::string> Unopened() const override;

    // The keys as the panel labels them, upper case, "double" for twice.
    std::optional<KeyPress> KeyNamed(std::string_view line) const override;
    std::string KeyNames() const override;
    // Never waits: while the scale takes no keys in, they wait up to kKeyQueueBound and more
    // are dropped, said when it begins and counted when it ends.
    bool SendKey(KeyPress key) override;
    // Says how many keys were dropped since it was last said, if any.
    void TellDropped() override;

  private:
    // Probes `onlyPort`, or COM1..COM32 when 0; the port whose scale answered, else 0.
    int Probed(unsigned onlyPort);
    // Opens and watches `onlyPort`, or the first port that opens when 0, without probing.
    int OpenUnprobed(unsigned onlyPort);
    // Why `only` could not be opened, with what the user can do about it.
    posix::SystemError CannotOpen(unsigned only) const;
    bool SendByte(std::uint8_t byte);
    void OnBytes(std::span<const std::uint8_t> bytes) override;
    posix::Status Reopen(int port) override;
    void Halted() override { TellDropped(); }
    void KeysTaken() override { TellDropped(); }
    void DeliverHeld();
    void OnByte(std::uint8_t byte);
    bool OpenWatched(int port);
    bool Probe(int port);
    // Sends the probe and reads until the answer has come or the probe's time is up.
    bool AwaitAnswer();

    std::string m_program;
    scale::FrameWindow m_window;
    scale::ProbeAnswer m_probe;
    int m_tried = 0;  // the port opened last, or tried last
    std::string m_openFailure;
    serial_port::PortError m_openError;
    ScanFailures m_findFailures;
    std::uint64_t m_keysDropped = 0;
    // What came after the probe's answer in the same read: handed on from the event loop, once
    // whoever asked for the probe is ready for readings.
    std::vector<std::uint8_t> m_held;
};

}  // namespace scale_link
