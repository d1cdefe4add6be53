// The panel's side of the scale link: frame decoding, the probe, the key commands.

#include "app/CScalePanelDlg.h"
#include "scale/Protocol.h"

window::LResult CScalePanelDlg::OnPortByte(window::WParam wParam, window::LParam) {
    scale::FrameWindow& window = *m_services.receiveWindow;
    if (window.Push(static_cast<std::uint8_t>(wParam & 0xFF), &m_probe)) {
        const scale::FrameBytes bytes = window.Bytes();
        m_display.SetValues(scale::SlotsOf(bytes));
        m_display.Display();
        // A window begun by bytes from before the port was opened, or by the probe's answer, is
        // drawn like any other but is no reading of the scale's: nobody else is told of it.
        if (window.HoldsSentFrame())
            TellFrame(bytes);
    }
    return 0;
}

void CScalePanelDlg::TellFrame(const scale::FrameBytes& bytes) {
    if (m_observers.Empty())
        return;
    m_observers.TellFrame(scale::StampFrame(bytes));
}

int CScalePanelDlg::ProbePort(int nPort) {
    if (!m_serialPort.Open(this, static_cast<unsigned>(nPort), m_nBaud, m_cParity, m_nDataBits,
                           m_nStopBits, m_dwEventMask, kSendBufferSize)) {
        NoteScanFailure(nPort);
        return -1;
    }
    m_services.receiveWindow->Restart();
    // Unwatched, the answer could never arrive; the engine has reported why.
    if (!m_serialPort.StartWatch()) {
        m_serialPort.Close();
        return -1;
    }
    // An answer that reached the previous port after its wait must not count for this one, nor
    // may a pair begun by the previous port's last byte.
    m_probe.Begin();
    const std::uint8_t probe = scale::kProbe;
    m_serialPort.SendBytes(&probe, 1);
    // Every message of the thread is handled meanwhile, the answer's bytes among them.
    window::PumpThreadFor(scale::kProbeWait);
    if (m_probe.Answered()) {
        m_follower.Opened(nPort, m_serialPort.DevicePath());
        return nPort;
    }
    m_serialPort.Close();
    return -1;
}

void CScalePanelDlg::SendKey(std::uint8_t byte) {
    if (m_bClosed)
        return;
    emit keySent(byte);
    if (m_ownWire) {
        SendWireKey(byte);
        return;
    }
    if (m_familyChoice) {
        SendFamilyKey(byte);
        return;
    }
    m_serialPort.SendBytes(&byte, 1);
}

void CScalePanelDlg::OnKeyDataClick() {
    SendKey(scale::kKeyData);
}
void CScalePanelDlg::OnKeyDataDblClk() {
    SendKey(scale::kKeyData | scale::kDoubleClick);
}
void CScalePanelDlg::OnKeyModeClick() {
    SendKey(scale::kKeyMode);
}
void CScalePanelDlg::OnKeyModeDblClk() {
    SendKey(scale::kKeyMode | scale::kDoubleClick);
}
void CScalePanelDlg::OnKeyTareClick() {
    SendKey(scale::kKeyTare);
}
void CScalePanelDlg::OnKeyTareDblClk() {
    SendKey(scale::kKeyTare | scale::kDoubleClick);
}
void CScalePanelDlg::OnKeyOnOffClick() {
    SendKey(scale::kKeyOnOff);
}
void CScalePanelDlg::OnKeyOnOffDblClk() {
    SendKey(scale::kKeyOnOff | scale::kDoubleClick);
}
