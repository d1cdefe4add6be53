#pragma once

// The serial port engine: one port, one watch thread that hands every received byte to the
// owner as a synchronous message and writes queued send data.
//
// Thread: [owner-thread] unless a declaration says otherwise; the owner's thread is the one that
// opens and closes the port (the UI thread). Notifications arrive there too.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/serial/Event.h"
#include "platform/serial/LineEventSource.h"
#include "platform/serial/PortError.h"
#include "platform/serial/PortTypes.h"
#include "platform/serial/SerialPort.h"
#include "platform/window/Messages.h"

// Notifications sent to the owner; LPARAM is always the port number.
inline constexpr window::MessageId PN_BREAK = window::kUserMessage + 1;
inline constexpr window::MessageId PN_CTS = window::kUserMessage + 2;
inline constexpr window::MessageId PN_LINE_ERROR = window::kUserMessage + 4;
inline constexpr window::MessageId PN_RING = window::kUserMessage + 5;
inline constexpr window::MessageId PN_BYTE = window::kUserMessage + 7;  // WPARAM: the byte
inline constexpr window::MessageId PN_FLAG_CHAR = window::kUserMessage + 8;
// The port's device went away (unplugged, peer hung up). Sent once, before the failure box that
// reports it; the watch thread then stops waiting on the port. The owner is expected to Close.
inline constexpr window::MessageId PN_DEVICE_LOST = window::kUserMessage + 9;

// Shows one failure to the user (caption, text) and returns when it has been dismissed.
// Called on the thread where the failure happened: the owner's thread (Open, StartWatch) or the
// watch thread; for the watch thread, a reporter that shows a window hands the work to the UI
// thread with window::Invoke(owner, ...), which a Close in progress keeps serving.
// Called with the engine's port lock held for a failed configuration step of Open and for a
// failed read or write. While it runs, the reporter must not Open, Close or destroy the engine
// that called it, nor wait for a thread that does: those take the port lock or wait for the
// watch thread, and would never return. The accessors, SendBytes/SendText and
// PauseWatch/ResumeWatch take no port lock.
using FailureReporter = std::function<void(const std::string& caption, const std::string& text)>;

// Makes the source of line events for a port just configured with `mask`.
using LineEventSourceFactory = std::function<std::unique_ptr<serial_port::LineEventSource>(
    const serial_port::SerialPort& port, std::uint32_t mask)>;

// The device path of a port name ("COMn" or "\\.\COMn"); nullopt when there is no such port.
// Called on the owner's thread, inside Open.
using PortResolver = std::function<std::optional<std::string>(std::string_view portName)>;

class CSerialLink {
  public:
    CSerialLink();
    virtual ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // Stops a running watch thread first (handling the old owner's messages meanwhile), then
    // opens and configures port COMn, n = portNumber. Returns 1 when the port opened (also if a
    // configuration step failed and was reported), 0 when it could not be opened; OpenError()
    // then tells why.
    int Open(window::MessageOwner* owner, unsigned portNumber, int baud, char parity, int dataBits,
             int stopBits, std::uint32_t eventMask, unsigned sendBufferSize);
    // Starts the watch thread. Returns 1 when it runs (also when it already ran), 0 when it
    // could not be started; a thread the system refuses is also reported with the system's
    // reason.
    int StartWatch();
    // [thread-safe] while the watch thread exists. Pauses count: two PauseWatch need two
    // ResumeWatch. A paused thread reads, writes and notifies nothing; a byte it has read is
    // delivered after the resume. Both return 1.
    int ResumeWatch();
    int PauseWatch();
    // Stops the watch thread, handling the owner's messages meanwhile, and closes the port.
    // REQUIRES: not called from the handler of one of this engine's own notifications or
    // failure reports: the thread waits for that handler to return.
    void Close();
    // Queue data for the watch thread to send, replacing data queued and not yet sent. Return 1
    // when the send was signalled, 0 when refused (no Open yet, count outside 1..capacity, text
    // longer than the buffer).
    int SendBytes(const std::uint8_t* data, int count);
    int SendText(const char* text);

    // [owner-thread] These read what only the owner's thread changes, without a lock.
    // True while a port is held (open, watched or not).
    bool IsPortHeld() const;
    // Why the last Open returned 0: kind, system text and a detail (device group, holder).
    serial_port::PortError OpenError() const;
    // Device path behind the open port, empty when none.
    std::string DevicePath() const;

    // [thread-safe] These answer at once, also while the engine shows a failure box.
    serial_port::LineState LineSettings() const;
    std::uint32_t EventMask() const;
    unsigned WriteBufferCapacity() const;
    // True from the moment the watch thread begins its work until it ends.
    bool IsWatching() const { return m_bWatching.load(); }
    // How often the watch thread has woken from its wait since StartWatch (diagnostics: an
    // idle port wakes it never).
    std::uint64_t WatchWakeups() const { return m_nWakeups.load(); }
    // Bytes of the writes reported complete since StartWatch (diagnostics).
    std::uint64_t BytesSent() const { return m_nBytesSent.load(); }

    // Replaces how failures are shown (default: standard error). Set before Open.
    void SetFailureReporter(FailureReporter reporter);
    // Replaces where line events come from (default: the driver). Set before Open.
    void SetLineEventSource(LineEventSourceFactory factory);
    // Replaces how port names find their devices (default: the machine's serial devices, as a
    // serial_port::PortMap without a folder numbers them). Set before Open.
    void SetPortResolver(PortResolver resolver);

  private:
    int OpenAndConfigure(window::MessageOwner* owner, unsigned portNumber, int baud, char parity,
                         int dataBits, int stopBits, std::uint32_t eventMask,
                         unsigned sendBufferSize);
    void StoreLineState(const serial_port::LineState& state);
    // REQUIRES: m_portLock held, no watch thread.
    void ReleasePort();
    static void WatchThread(CSerialLink* link);
    void RunWatch();
    void DrainInput();
    // Hands the owner `queued` bytes one at a time; true when it stopped early after telling
    // the owner that another byte follows.
    bool ForwardBytes(std::size_t queued);
    void TransmitPending();
    void ServePortEvent(bool hungUp);
    // Open's configuration steps; the first that fails is reported and ends them.
    void ConfigurePort(const char* settingsText, bool settingsFit);
    void ShowFailure(const char* operation, const serial_port::PortError& error);
    // Reports the loss of the device once and stops watching it.
    void OnDeviceLost(const char* operation, const serial_port::PortError& error);
    void WaitWhilePaused();
    void ClearPauses();
    bool StopRequested() const;
    // Signals stop and waits for the watch thread to end; `pump` handles the owner's messages
    // meanwhile, else they are refused.
    void StopWatchThread(bool pump);
    void Notify(window::MessageId id, window::WParam w, bool moreFollows = false);

    // Fields of the engine, in the order its design gives them.
    std::optional<serial_port::SerialPort> m_hPort;  // empty when none (also after a failed Open)
    std::thread m_pWatchThread;
    mutable std::mutex m_portLock;
    std::atomic<bool> m_bWatching{false};
    std::optional<serial_port::Event> m_hStopEvent;
    std::optional<serial_port::Event> m_hSendEvent;
    // [0] stop, [1] the port, [2] send, [3] the port's line events; the port's places are empty
    // while there is no port to wait on.
    std::array<const serial_port::Waitable*, 4> m_waitSet{};
    serial_port::Timeouts m_timeouts;
    serial_port::LineState m_lineState;  // under m_lineStateLock, held for copies only
    mutable std::mutex m_lineStateLock;
    window::MessageOwner* m_pNotifyWnd = nullptr;
    unsigned m_nPortNumber = 0;
    std::unique_ptr<std::uint8_t[]> m_pSendBuffer;
    std::atomic<std::uint32_t> m_dwWatchMask{0};
    std::atomic<unsigned> m_nSendCapacity{0};
    int m_nSendCount = 1;

    // Send requests fill m_pSendBuffer under m_sendLock; the watch thread copies a request into
    // m_pTransmitBuffer before it writes, so a new request never changes bytes being sent.
    std::mutex m_sendLock;
    bool m_bSendPending = false;
    std::unique_ptr<std::uint8_t[]> m_pTransmitBuffer;

    // Paused exactly while m_hResumeEvent is not signalled; m_pauseLock keeps the two in step.
    std::mutex m_pauseLock;
    int m_nPauseCount = 0;
    std::atomic<bool> m_bPaused{false};
    std::optional<serial_port::Event> m_hResumeEvent;

    std::atomic<bool> m_bThreadEnded{true};
    bool m_bPortLost = false;  // watch thread only
    std::atomic<std::uint64_t> m_nWakeups{0};
    std::atomic<std::uint64_t> m_nBytesSent{0};
    serial_port::PortError m_openError;
    FailureReporter m_reporter;
    LineEventSourceFactory m_lineEventFactory;
    PortResolver m_resolvePort;
    std::unique_ptr<serial_port::LineEventSource> m_lineEvents;  // with m_hPort
};
