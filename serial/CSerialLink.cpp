#include "serial/CSerialLink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string_view>
#include <system_error>

#include "platform/serial/DriverLineEvents.h"
#include "platform/serial/LineSettingsText.h"
#include "platform/serial/PortMap.h"

namespace {

void ReportToStandardError(const std::string& caption, const std::string& text) {
    std::cerr << caption << ": " << text << std::flush;
}

// Every time-out of the port, in milliseconds (per byte for the multipliers).
constexpr std::uint32_t kPortTimeoutMs = 1000;

}  // namespace

CSerialLink::CSerialLink()
    : m_reporter(ReportToStandardError),
      m_lineEventFactory([](const serial_port::SerialPort& port, std::uint32_t mask) {
          return std::make_unique<serial_port::DriverLineEvents>(port.WaitDescriptor(), mask);
      }),
      m_resolvePort([ports = std::make_shared<serial_port::PortMap>()](std::string_view name) {
          return ports->ResolveName(name);
      }) {
    m_hResumeEvent = serial_port::Event::Create();
    if (m_hResumeEvent)
        m_hResumeEvent->Set();
}

CSerialLink::~CSerialLink() {
    // Handlers must not run while the owner may be half destroyed; a thread inside a
    // notification gets its answer without one.
    StopWatchThread(false);
    std::lock_guard<std::mutex> hold(m_portLock);
    ReleasePort();
}

void CSerialLink::SetFailureReporter(FailureReporter reporter) {
    m_reporter = std::move(reporter);
}

void CSerialLink::SetLineEventSource(LineEventSourceFactory factory) {
    m_lineEventFactory = std::move(factory);
}

void CSerialLink::SetPortResolver(PortResolver resolver) {
    m_resolvePort = std::move(resolver);
}

void CSerialLink::ReleasePort() {
    m_waitSet[1] = nullptr;
    m_waitSet[3] = nullptr;
    m_lineEvents.reset();
    m_hPort.reset();
}

int CSerialLink::Open(window::MessageOwner* owner, unsigned portNumber, int baud, char parity,
                      int dataBits, int stopBits, std::uint32_t eventMask,
                      unsigned sendBufferSize) {
    // Failures are results here, never exceptions: a string that cannot grow is one too.
    try {
        return OpenAndConfigure(owner, portNumber, baud, parity, dataBits, stopBits, eventMask,
                                sendBufferSize);
    } catch (const std::bad_alloc&) {
        m_openError = serial_port::PortError::FromErrno(ENOMEM);
    } catch (const std::exception& e) {
        m_openError = serial_port::PortError::FromErrno(EIO);
        m_openError.detail = e.what();
    }
    std::lock_guard<std::mutex> hold(m_portLock);
    ReleasePort();
    return 0;
}

int CSerialLink::OpenAndConfigure(window::MessageOwner* owner, unsigned portNumber, int baud,
                                  char parity, int dataBits, int stopBits, std::uint32_t eventMask,
                                  unsigned sendBufferSize) {
    // A thread inside a notification needs the owner's messages handled to reach its end.
    StopWatchThread(true);

    for (std::optional<serial_port::Event>* event : {&m_hSendEvent, &m_hStopEvent}) {
        if (*event) {
            (*event)->Reset();
            continue;
        }
        *event = serial_port::Event::Create(&m_openError);
        if (!*event)
            return 0;
    }
    m_waitSet = {&*m_hStopEvent, nullptr, &*m_hSendEvent, nullptr};

    m_pNotifyWnd = owner;
    m_nPortNumber = portNumber;
    m_dwWatchMask = eventMask;
    {
        std::lock_guard<std::mutex> hold(m_sendLock);
        m_nSendCapacity = 0;
        m_bSendPending = false;
        m_pSendBuffer.reset();
        m_pTransmitBuffer.reset();
        // Only the queued bytes are ever read, so the buffers need no clearing (which would
        // touch every page of a large one).
        try {
            m_pSendBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(sendBufferSize);
            m_pTransmitBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(sendBufferSize);
        } catch (const std::bad_alloc&) {
            m_pSendBuffer.reset();
            m_pTransmitBuffer.reset();
            m_openError = serial_port::PortError::FromErrno(ENOMEM);
            m_openError.detail =
                "no memory for a send buffer of " + std::to_string(sendBufferSize) + " bytes";
            std::lock_guard<std::mutex> holdPort(m_portLock);
            ReleasePort();
            return 0;
        }
        m_nSendCapacity = sendBufferSize;
    }

    char portName[50];
    std::snprintf(portName, sizeof portName, portNumber <= 9 ? "COM%u" : "\\\\.\\COM%u",
                  portNumber);
    char settings[50];
    const int settingsLength =
        std::snprintf(settings, sizeof settings, "baud=%d parity=%c data=%d stop=%d", baud, parity,
                      dataBits, stopBits);
    // Too long for its buffer: refused as a whole rather than cut.
    const bool settingsFit =
        settingsLength >= 0 && static_cast<std::size_t>(settingsLength) < sizeof settings;

    std::lock_guard<std::mutex> hold(m_portLock);
    ReleasePort();

    const auto device = m_resolvePort ? m_resolvePort(portName) : std::nullopt;
    if (!device) {
        m_openError = serial_port::PortError::FromErrno(ENOENT);
        m_openError.detail = "COM" + std::to_string(portNumber) + " does not exist";
        return 0;
    }
    m_hPort = serial_port::SerialPort::Open(*device, &m_openError);
    if (!m_hPort)
        return 0;
    m_bPortLost = false;
    m_waitSet[1] = &*m_hPort;

    ConfigurePort(settings, settingsFit);
    m_hPort->Purge();
    return 1;
}

// REQUIRES: m_portLock held, m_hPort open.
void CSerialLink::ConfigurePort(const char* settingsText, bool settingsFit) {
    m_timeouts.readInterval = kPortTimeoutMs;
    m_timeouts.readTotalMultiplier = kPortTimeoutMs;
    m_timeouts.readTotalConstant = kPortTimeoutMs;
    m_timeouts.writeTotalMultiplier = kPortTimeoutMs;
    m_timeouts.writeTotalConstant = kPortTimeoutMs;
    serial_port::PortError error = m_hPort->SetTimeouts(m_timeouts);
    if (error.Failed())
        return ShowFailure("SetCommTimeouts()", error);

    error = m_hPort->SetEventMask(m_dwWatchMask);
    if (error.Failed())
        return ShowFailure("SetCommMask()", error);
    // Line events count from the moment the mask is set.
    if (m_lineEventFactory) {
        m_lineEvents = m_lineEventFactory(*m_hPort, m_dwWatchMask);
        m_waitSet[3] = m_lineEvents.get();
    }

    // Edited here and published at each step, so that readers never wait for the port's lock
    // (which a failure box below is shown under).
    serial_port::LineState state = LineSettings();
    error = m_hPort->ReadLineState(state);
    if (error.Failed())
        return ShowFailure("GetCommState()", error);
    StoreLineState(state);

    state.rtsControl = serial_port::RtsControl::kEnable;
    // A text cut short by a zero character (parity '\0') ends there and is refused as well.
    const bool built = settingsFit && serial_port::ApplyLineSettingsText(settingsText, state);
    StoreLineState(state);
    if (!built)
        return ShowFailure("BuildCommDCB()", serial_port::PortError::FromErrno(EINVAL));

    error = m_hPort->ApplyLineState(state);
    if (error.Failed())
        return ShowFailure("SetCommState()", error);
}

int CSerialLink::StartWatch() {
    if (m_pWatchThread.joinable())
        return 1;
    // Without Open there is nothing to wait on.
    if (!m_hStopEvent || !m_hSendEvent)
        return 0;
    // A new thread starts running, whatever pauses its predecessor had.
    ClearPauses();
    m_nWakeups = 0;
    m_nBytesSent = 0;
    m_bThreadEnded = false;
    serial_port::PortError error;
    try {
        m_pWatchThread = std::thread(&CSerialLink::WatchThread, this);
        return 1;
    } catch (const std::system_error& e) {
        error = serial_port::PortError::FromErrno(e.code().value());
    } catch (const std::bad_alloc&) {
        error = serial_port::PortError::FromErrno(ENOMEM);
    }
    m_bThreadEnded = true;
    // An unwatched port would look open and receive nothing.
    ShowFailure("AfxBeginThread()", error);
    return 0;
}

// Pauses count like a thread's suspend count: each needs its own resume, and a resume of a
// running thread is not banked for a later pause.
int CSerialLink::PauseWatch() {
    std::lock_guard<std::mutex> hold(m_pauseLock);
    if (m_hResumeEvent) {
        ++m_nPauseCount;
        m_bPaused = true;
        m_hResumeEvent->Reset();
    }
    return 1;
}

int CSerialLink::ResumeWatch() {
    std::lock_guard<std::mutex> hold(m_pauseLock);
    if (m_nPauseCount > 0)
        --m_nPauseCount;
    if (m_nPauseCount == 0) {
        m_bPaused = false;
        if (m_hResumeEvent)
            m_hResumeEvent->Set();
    }
    return 1;
}

void CSerialLink::ClearPauses() {
    std::lock_guard<std::mutex> hold(m_pauseLock);
    m_nPauseCount = 0;
    m_bPaused = false;
    if (m_hResumeEvent)
        m_hResumeEvent->Set();
}

void CSerialLink::StopWatchThread(bool pump) {
    if (!m_pWatchThread.joinable())
        return;
    m_hStopEvent->Set();
    // Waits for the end of the thread, not for m_bWatching: a thread that has not begun yet
    // has not raised it.
    if (m_pNotifyWnd != nullptr) {
        auto ended = [this] { return m_bThreadEnded.load(); };
        if (pump)
            window::WaitWhilePumping(*m_pNotifyWnd, ended);
        else
            window::WaitWhileRefusing(*m_pNotifyWnd, ended);
    }
    m_pWatchThread.join();
}

void CSerialLink::Close() {
    if (m_pWatchThread.joinable()) {
        StopWatchThread(true);
    } else if (m_hStopEvent) {
        // No thread: one pass, at most one of the owner's messages handled.
        m_hStopEvent->Set();
        if (m_pNotifyWnd != nullptr)
            window::PumpOwner(*m_pNotifyWnd, 1);
    }
    {
        std::lock_guard<std::mutex> hold(m_portLock);
        ReleasePort();
    }
    if (m_hStopEvent)
        m_hStopEvent->Reset();
    if (m_hSendEvent)
        m_hSendEvent->Reset();
}

int CSerialLink::SendBytes(const std::uint8_t* data, int count) {
    if (data == nullptr || count < 1 || static_cast<unsigned>(count) > m_nSendCapacity ||
        !m_pSendBuffer || !m_hSendEvent)
        return 0;
    std::lock_guard<std::mutex> hold(m_sendLock);
    std::memcpy(m_pSendBuffer.get(), data, static_cast<std::size_t>(count));
    m_nSendCount = count;
    m_bSendPending = true;
    m_hSendEvent->Set();
    return 1;
}

int CSerialLink::SendText(const char* text) {
    if (text == nullptr || !m_pSendBuffer || !m_hSendEvent)
        return 0;
    const std::size_t length = std::strlen(text);
    if (length + 1 > m_nSendCapacity)
        return 0;
    std::lock_guard<std::mutex> hold(m_sendLock);
    std::memcpy(m_pSendBuffer.get(), text, length + 1);
    m_nSendCount = static_cast<int>(length);
    m_bSendPending = true;
    m_hSendEvent->Set();
    return 1;
}

// m_hPort changes only on the owner's thread, so the owner reads it without the lock (which
// the watch thread may hold for a whole write).
bool CSerialLink::IsPortHeld() const {
    return m_hPort.has_value();
}

serial_port::LineState CSerialLink::LineSettings() const {
    std::lock_guard<std::mutex> hold(m_lineStateLock);
    return m_lineState;
}

void CSerialLink::StoreLineState(const serial_port::LineState& state) {
    std::lock_guard<std::mutex> hold(m_lineStateLock);
    m_lineState = state;
}

std::uint32_t CSerialLink::EventMask() const {
    return m_dwWatchMask.load();
}

unsigned CSerialLink::WriteBufferCapacity() const {
    return m_nSendCapacity.load();
}

serial_port::PortError CSerialLink::OpenError() const {
    return m_openError;
}

std::string CSerialLink::DevicePath() const {
    return m_hPort ? m_hPort->DevicePath() : std::string();
}
