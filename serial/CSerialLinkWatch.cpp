// The watch thread of CSerialLink: waits for a stop request, port events and send requests,
// drains input byte by byte to the owner and writes queued data.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/serial/WaitSet.h"
#include "serial/CSerialLink.h"

namespace {

constexpr std::size_t kStopSlot = 0;
constexpr std::size_t kPortSlot = 1;
constexpr std::size_t kSendSlot = 2;
constexpr std::size_t kLineSlot = 3;

bool IsGone(const serial_port::PortError& error) {
    return error.kind == serial_port::ErrorKind::kDeviceGone;
}

}  // namespace

void CSerialLink::WatchThread(CSerialLink* link) {
    link->RunWatch();
}

bool CSerialLink::StopRequested() const {
    return m_hStopEvent->IsSet();
}

void CSerialLink::RunWatch() {
    m_bWatching = true;
    {
        std::lock_guard<std::mutex> hold(m_portLock);
        if (m_hPort)
            m_hPort->Purge();
    }

    for (;;) {
        std::array<const serial_port::Waitable*, 4> waitSet = m_waitSet;
        // A dead port stays "ready" for ever; from now on only stop and send count.
        if (m_bPortLost)
            waitSet[kPortSlot] = nullptr;
        const serial_port::WaitResult woke = serial_port::WaitForAny(waitSet);
        ++m_nWakeups;

        if (woke.status == serial_port::WaitResult::Status::kSignalled && woke.index == kStopSlot)
            break;
        if (m_bPaused.load()) {
            WaitWhilePaused();
            if (StopRequested())
                break;
            continue;
        }
        if (woke.status == serial_port::WaitResult::Status::kFailed) {
            ShowFailure("WaitCommEvent()", woke.error);
            continue;
        }
        if (woke.status != serial_port::WaitResult::Status::kSignalled)
            continue;
        if (woke.index == kPortSlot || woke.index == kLineSlot) {
            ServePortEvent(woke.index == kPortSlot && woke.hungUp);
            // The port outranks the send request at every wait, and a peer that sends without
            // pause keeps it ready: serve a pending send before waiting again, stop first.
            if (!StopRequested() && !m_bPaused.load() && m_hSendEvent->IsSet())
                TransmitPending();
        } else if (woke.index == kSendSlot) {
            TransmitPending();
        }
    }

    m_bWatching = false;
    window::MessageOwner* owner = m_pNotifyWnd;
    m_bThreadEnded = true;
    // The owner's thread joins this thread after it saw the flag, so both stay valid here.
    if (owner != nullptr)
        window::Wake(*owner);
}

void CSerialLink::WaitWhilePaused() {
    const std::array<const serial_port::Waitable*, 2> waitSet = {&*m_hStopEvent, &*m_hResumeEvent};
    while (m_bPaused.load() && !StopRequested()) {
        serial_port::WaitForAny(waitSet);
        ++m_nWakeups;
    }
}

void CSerialLink::ServePortEvent(bool hungUp) {
    if (hungUp) {
        OnDeviceLost("WaitCommEvent()", serial_port::PortError::FromErrno(EIO));
        return;
    }
    // The mask as the port has it: input is drained and the flag character reported after every
    // completed wait; the other line events only when they happened.
    const std::uint32_t mask = m_hPort->GetEventMask();
    if (mask & serial_port::kEventRxChar)
        DrainInput();
    if (m_bPortLost)
        return;
    const std::uint32_t events = m_lineEvents ? m_lineEvents->TakeEvents(mask) & mask : 0;
    if (events & serial_port::kEventCts)
        Notify(PN_CTS, 0);
    if (mask & serial_port::kEventRxFlag)
        Notify(PN_FLAG_CHAR, 0);
    if (events & serial_port::kEventBreak)
        Notify(PN_BREAK, 0);
    if (events & serial_port::kEventError)
        Notify(PN_LINE_ERROR, 0);
    if (events & serial_port::kEventRing)
        Notify(PN_RING, 0);
}

void CSerialLink::DrainInput() {
    if (StopRequested())
        return;
    // Only the bytes this status read counted: a peer that never pauses would otherwise hold
    // the thread here for ever. More that came meanwhile wake the next wait at once.
    std::size_t queued = 0;
    serial_port::PortError statusError;
    {
        std::lock_guard<std::mutex> hold(m_portLock);
        statusError = m_hPort->QueuedInput(queued);
    }
    if (statusError.Failed()) {
        if (IsGone(statusError))
            OnDeviceLost("ReadFile()", statusError);
        return;
    }
    // The owner waits for a byte it was told of; it must not wait out a broken promise.
    if (ForwardBytes(queued) && m_pNotifyWnd != nullptr)
        window::Wake(*m_pNotifyWnd);
}

bool CSerialLink::ForwardBytes(std::size_t queued) {
    bool promised = false;
    for (; queued > 0; --queued) {
        if (m_bPaused.load())
            return promised;
        std::uint8_t byte = 0;
        serial_port::IoResult read;
        {
            std::lock_guard<std::mutex> hold(m_portLock);
            read = m_hPort->ReadByte(byte);
            if (read.Failed() && !IsGone(read.error))
                ShowFailure(
                    read.failedWhileWaiting ? "GetOverlappedResults() in ReadFile()" : "ReadFile()",
                    read.error);
        }
        if (read.Failed()) {
            if (IsGone(read.error))
                OnDeviceLost("ReadFile()", read.error);
            // Back to the wait: a port that keeps failing raises one box per wake-up, not a
            // loop that never waits.
            return promised;
        }
        if (read.bytes == 0)
            return promised;
        promised = queued > 1;
        Notify(PN_BYTE, byte, promised);
        // A key press waits for one byte at most, never for the rest of a flood.
        if (StopRequested() || m_hSendEvent->IsSet())
            return promised;
    }
    return false;
}

void CSerialLink::TransmitPending() {
    std::size_t count = 0;
    {
        // The reset and the copy happen together, so a request that comes meanwhile is either
        // in this copy or signalled anew, never sent twice or lost.
        std::lock_guard<std::mutex> hold(m_sendLock);
        m_hSendEvent->Reset();
        if (!m_bSendPending)
            return;
        count = static_cast<std::size_t>(m_nSendCount);
        std::memcpy(m_pTransmitBuffer.get(), m_pSendBuffer.get(), count);
        m_bSendPending = false;
    }
    if (!m_hPort || m_bPortLost)
        return;  // nowhere to send; the loss has been reported

    serial_port::PortError gone;
    serial_port::IoResult written;
    {
        std::lock_guard<std::mutex> hold(m_portLock);
        // Whatever came in and was not read is thrown away before each transmission.
        const serial_port::PortError purged = m_hPort->Purge();
        if (IsGone(purged)) {
            gone = purged;
        } else {
            written = m_hPort->Write({m_pTransmitBuffer.get(), count});
            if (IsGone(written.error))
                gone = written.error;
            else if (written.Failed() && !written.failedWhileWaiting)
                ShowFailure("WriteFile()", written.error);
        }
    }
    if (gone.Failed()) {
        OnDeviceLost("WriteFile()", gone);
        return;
    }
    if (written.Failed() && written.failedWhileWaiting)
        ShowFailure("GetOverlappedResults() in WriteFile()", written.error);
    if (!written.Failed())
        m_nBytesSent += written.bytes;
}

void CSerialLink::OnDeviceLost(const char* operation, const serial_port::PortError& error) {
    if (m_bPortLost)
        return;
    m_bPortLost = true;
    // The owner shows the port closed first; the box then explains why.
    Notify(PN_DEVICE_LOST, 0);
    ShowFailure(operation, error);
}

void CSerialLink::Notify(window::MessageId id, window::WParam w, bool moreFollows) {
    if (m_bPaused.load()) {
        WaitWhilePaused();
        if (StopRequested())
            return;
    }
    if (m_pNotifyWnd == nullptr)
        return;
    const auto port = static_cast<window::LParam>(m_nPortNumber);
    if (moreFollows)
        window::SendMessageBeforeMore(*m_pNotifyWnd, id, w, port);
    else
        window::SendMessage(*m_pNotifyWnd, id, w, port);
}

void CSerialLink::ShowFailure(const char* operation, const serial_port::PortError& error) {
    // snprintf cuts an over-long system text; the buffer is never overrun.
    char text[200];
    std::snprintf(text, sizeof text,
                  "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n", operation,
                  error.Describe().c_str(), static_cast<int>(m_nPortNumber));
    if (m_reporter)
        m_reporter("Application Error", text);
}
