#pragma once

// The serial port engine: one port, one watch thread that hands every received byte to the
// owner as a synchronous message and writes queued send data.
//
// Thread: every public operation except ResumeWatch/PauseWatch and the accessors is called on
// the owner's thread (the UI thread). Notifications arrive there too.

#include <cstdint>
#include <functional>
#include <string>

#include "window/Messages.h"

// Notifications sent to the owner; LPARAM is always the port number.
inline constexpr window::MessageId PN_BREAK = window::kUserMessage + 1;
inline constexpr window::MessageId PN_CTS = window::kUserMessage + 2;
inline constexpr window::MessageId PN_LINE_ERROR = window::kUserMessage + 4;
inline constexpr window::MessageId PN_RING = window::kUserMessage + 5;
inline constexpr window::MessageId PN_BYTE = window::kUserMessage + 7;  // WPARAM: the byte
inline constexpr window::MessageId PN_FLAG_CHAR = window::kUserMessage + 8;
// The port's device went away (unplugged, peer hung up). Sent once; the watch thread then stops
// waiting on the port. The owner is expected to Close.
inline constexpr window::MessageId PN_DEVICE_LOST = window::kUserMessage + 9;

// Shows one failure to the user (caption, text) and returns when it has been dismissed.
// Called on the thread where the failure happened.
using FailureReporter = std::function<void(const std::string& caption, const std::string& text)>;

class CSerialLink {
  public:
    CSerialLink();
    virtual ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // Returns 1 when the port opened (also if a configuration step failed and was reported),
    // 0 when it could not be opened.
    int Open(window::MessageOwner* owner, unsigned portNumber, int baud, char parity, int dataBits,
             int stopBits, std::uint32_t eventMask, unsigned sendBufferSize);
    int StartWatch();
    int ResumeWatch();
    int PauseWatch();
    void Close();
    int SendBytes(const std::uint8_t* data, int count);
    int SendText(const char* text);

    // True while a port is held (open, watched or not).
    bool IsPortHeld() const;
    std::uint32_t EventMask() const;
    unsigned WriteBufferCapacity() const;

    // Replaces how failures are shown (default: standard error). Set before Open.
    void SetFailureReporter(FailureReporter reporter);

    // ... private fields and watch-thread steps follow the engine's design.
};
