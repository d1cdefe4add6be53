// The port controls: choosing a port, OPEN/CLOSE, a device that goes away and comes back, engine
// failures.

#include <QCoreApplication>
#include <QMetaObject>

#include "app/CScalePanelDlg.h"
#include "app/PortDescription.h"

bool CScalePanelDlg::OpenChosenPort() {
    if (m_serialPort.Open(this, static_cast<unsigned>(m_nPort), m_nBaud, m_cParity, m_nDataBits,
                          m_nStopBits, m_dwEventMask, kSendBufferSize) == 0)
        return false;
    // Bytes already in the window came from before: the display may still combine them with
    // new ones, but no observer is told of such a frame.
    m_services.receiveWindow->Restart();
    m_follower.Opened(m_nPort, m_serialPort.DevicePath());
    return true;
}

scale::PortState CScalePanelDlg::PortStateOf(scale::PortState::Change change) const {
    // A wire of its own is named as its user wrote it.
    if (m_wireSource)
        return {change, m_nPort, m_wireSource->Device(), m_wireSource->Name()};
    scale::PortState state{change, m_nPort, {}, Ports().NameOf(static_cast<unsigned>(m_nPort))};
    if (m_follower.Current().port == m_nPort)
        state.device = m_follower.Current().device;
    return state;
}

void CScalePanelDlg::TellPortState(scale::PortState::Change change) {
    if (!m_observers.Empty())
        m_observers.TellPortState(PortStateOf(change));
}

void CScalePanelDlg::TellShownState(bool wasOpen) {
    if (!m_bClosed)
        TellPortState(scale::PortState::Change::kOpened);
    else if (wasOpen)
        TellPortState(scale::PortState::Change::kClosed);
}

void CScalePanelDlg::ShowOpenFailure() {
    MessageBoxRequest request;
    request.icon = QMessageBox::Warning;
    // The application name, which the application object takes from the executable's file name.
    request.caption = QCoreApplication::applicationName();
    request.text = QStringLiteral("Did not find the serial port");
    request.detail = ExplainOpenFailure(Ports(), m_nPort, m_serialPort.OpenError());
    // After a start-up that found nothing the list shows COM1 with no port chosen.
    if (m_nPort == 0)
        request.detail = QStringLiteral(
                             "No port is chosen yet, although the list shows %1: choose it "
                             "in the list, then OPEN. %2")
                             .arg(m_comboPort.currentText(), OtherFamiliesHint());
    m_services.presenter(this, request);
}

void CScalePanelDlg::OnPortSelEndOk() {
    // A port picked from the list is read in place of the wire.
    if (m_ownWire)
        DropPort();
    if (m_familyChoice) {
        // Another port is looked at when the panel shows one open, else at OPEN.
        if (!m_bClosed) {
            OnFamilyOpenClose();
            OnFamilyOpenClose();
        }
        return;
    }
    m_bCloseAfterLoss = false;
    m_follower.Forget();
    if (m_serialPort.IsPortHeld())
        m_serialPort.Close();
    const bool wasOpen = !m_bClosed;
    m_nPort = m_comboPort.currentIndex() + 1;
    QString status;
    if (!OpenChosenPort()) {
        ShowOpenFailure();
        ShowOpenState(false);
        status = QStringLiteral("Not found serial port or serial occupied");
    } else if (m_bClosed) {
        // Held but not watched: nothing is received until OPEN.
        SetLamp(m_hIconClosed);
        status = OpenedText("STATUS:COM%d CLOSED,%d,%c,%d,%d");
    } else if (!m_serialPort.StartWatch()) {
        // Unwatched, nothing is received: shown as closed. The engine has reported why.
        ShowOpenState(false);
        status = OpenedText("STATUS:COM%d CLOSED,%d,%c,%d,%d");
    } else {
        SetLamp(m_hIconOpened);
        status = OpenedText("STATUS:COM%d OPENED,%d,%c,%d,%d");
    }
    m_staticStatus.Show(status);
    TellShownState(wasOpen);
}

void CScalePanelDlg::OnOpenClose() {
    if (m_ownWire) {
        OnWireOpenClose();
        return;
    }
    if (m_familyChoice) {
        OnFamilyOpenClose();
        return;
    }
    m_bCloseAfterLoss = false;
    m_follower.Forget();
    const bool old = m_bClosed;
    m_bClosed = !old;
    QString status;
    QString note;
    if (!old) {
        m_serialPort.Close();
        ShowOpenState(false);
        status = QStringLiteral("STATUS:COM Port Closed");
        note =
            QStringLiteral("%1 was closed with CLOSE; OPEN opens it again.").arg(PortName(m_nPort));
    } else if (!OpenChosenPort()) {
        ShowOpenFailure();
        ShowOpenState(false);
        status = QStringLiteral("Not found serial port or serial occupied");
    } else if (!m_serialPort.StartWatch()) {
        // Held but unwatched: the same as a port held while the panel shows it closed.
        ShowOpenState(false);
        status = OpenedText("STATUS:COM%d CLOSED,%d,%c,%d,%d");
    } else {
        ShowOpenState(true);
        // A full-width comma after OPENED.
        status = OpenedText("STATUS:COM%d OPENED\uFF0C%d,%c,%d,%d");
    }
    m_staticStatus.Show(status, note);
    TellShownState(!old);
}

window::LResult CScalePanelDlg::OnDeviceLost(window::WParam, window::LParam lParam) {
    const int port = static_cast<int>(lParam);
    // A probe closes its own port, unless its scale answered before it went away: the scan
    // then keeps the port, and closes it once the panel shows it (OnInitDialog).
    if (m_bScanning) {
        m_nPortLostInScan = port;
        return 0;
    }
    // Only the port the panel shows as open.
    if (m_bDestroyed || m_bClosed || port != m_nPort || !m_serialPort.IsPortHeld())
        return 0;
    ShowLoss(QStringLiteral("%1 went away (unplugged, or its line hung up); it is opened again "
                            "when it is back.")
                 .arg(QString::fromLocal8Bit(Ports().NameWithDevice(static_cast<unsigned>(port),
                                                                    m_serialPort.DevicePath()))));
    m_follower.Lost(port);
    // The watch thread waits for this handler to return (and then for the box that reports the
    // loss), and Close waits for the watch thread: close once both are done.
    m_bCloseAfterLoss = true;
    QMetaObject::invokeMethod(this, &CScalePanelDlg::CloseLostPort, Qt::QueuedConnection);
    return 0;
}

void CScalePanelDlg::ShowLoss(const QString& why) {
    ShowOpenState(false);
    m_staticStatus.Show(QStringLiteral("STATUS:COM Port Closed"), why);
    TellPortState(scale::PortState::Change::kLost);
}

void CScalePanelDlg::CloseLostPort() {
    // Inside a failure box's own loop the watch thread waits for that box: Close would never
    // end. OnShowFailure comes back here when the box is gone.
    if (!m_bCloseAfterLoss || m_nFailureBoxes > 0 || m_bDestroyed)
        return;
    m_bCloseAfterLoss = false;
    m_serialPort.Close();
    // It may be back already.
    TryReconnect();
}

void CScalePanelDlg::OnPortsChanged() {
    ShowPortTips();
    m_reconnect.PortsChanged();
}

void CScalePanelDlg::TryReconnect() {
    m_reconnect.Try();
}

scale_link::Reconnect::Hooks CScalePanelDlg::ReconnectHooks() {
    scale_link::Reconnect::Hooks hooks;
    hooks.ready = [this] { return !m_bDestroyed && !m_bScanning && m_bClosed; };
    hooks.mayOpen = [this](int) {
        if (m_bCloseAfterLoss || m_nFailureBoxes > 0) {
            // The loss box is still up: its news is old. Once it is gone the lost port is
            // closed and this runs again (CloseLostPort).
            m_lossBoxCloser.CloseBoxes();
            return false;
        }
        return !m_serialPort.IsPortHeld();
    };
    hooks.open = [this](int port) -> posix::Status {
        const int before = m_nPort;
        m_nPort = port;
        const bool opened = OpenChosenPort();
        if (opened && m_serialPort.StartWatch())
            return posix::Success();
        if (opened)
            m_serialPort.Close();
        m_nPort = before;
        // Tried again a few times.
        return posix::SystemError(m_serialPort.OpenError());
    };
    hooks.back = [this](int) {
        m_comboPort.setCurrentIndex(m_nPort - 1);
        ShowOpenState(true);
        m_staticStatus.Show(OpenedText("STATUS:COM%d OPENED\uFF0C%d,%c,%d,%d"));
        TellPortState(scale::PortState::Change::kOpened);
    };
    hooks.reading = [this] {
        return !m_bScanning && !m_bDestroyed && !m_bClosed && !m_bCloseAfterLoss &&
               m_nFailureBoxes == 0 && m_serialPort.IsPortHeld();
    };
    // The same entry is the same port: its new device is opened in place of the old.
    hooks.leave = [this] {
        ShowLoss(QStringLiteral("%1 leads to another device now; that one is opened instead.")
                     .arg(PortName(m_nPort)));
        m_serialPort.Close();
    };
    return hooks;
}

void CScalePanelDlg::ReportEngineFailure(const std::string& caption, const std::string& text) {
    MessageBoxRequest request;
    request.icon = QMessageBox::Critical;
    request.caption = QString::fromStdString(caption);
    request.text = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    // From the watch thread this waits until the UI thread has shown and closed the box.
    window::SendMessage(*this, kMsgShowFailure, reinterpret_cast<window::WParam>(&request), 0);
}

window::LResult CScalePanelDlg::OnShowFailure(window::WParam wParam, window::LParam) {
    MessageBoxRequest request = *reinterpret_cast<const MessageBoxRequest*>(wParam);
    // After a loss the engine's box explains it (often while Close waits for the watch thread);
    // it closes by itself when the device is back.
    if (m_bCloseAfterLoss || m_follower.Following()) {
        request.closer = &m_lossBoxCloser;
        // The device may have come back before the box was up, and the request to close found
        // no box: once it is up, look again.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_nFailureBoxes > 0)
                    TryReconnect();
            },
            Qt::QueuedConnection);
    }
    ++m_nFailureBoxes;
    m_services.presenter(nullptr, request);
    if (--m_nFailureBoxes == 0 && m_bCloseAfterLoss)
        QMetaObject::invokeMethod(this, &CScalePanelDlg::CloseLostPort, Qt::QueuedConnection);
    return 0;
}
