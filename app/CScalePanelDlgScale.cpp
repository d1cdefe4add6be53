// The panel's side of the scale link: frame decoding, the probe, the key commands.

#include <algorithm>
#include <chrono>
#include <utility>

#include "CScalePanelDlg.h"

std::array<std::uint8_t, 12> g_rxWindow{};

namespace {

constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kHeader2 = 0xAA;
constexpr std::uint8_t kProbe = 0x05;
constexpr unsigned kSendBufferSize = 512;
constexpr auto kProbeWait = std::chrono::milliseconds(150);

}  // namespace

window::LResult CScalePanelDlg::OnPortByte(window::WParam wParam, window::LParam) {
    const auto b = static_cast<std::uint8_t>(wParam & 0xFF);
    const std::uint8_t previous = g_rxWindow[11];
    std::copy(g_rxWindow.begin() + 1, g_rxWindow.end(), g_rxWindow.begin());
    g_rxWindow[11] = b;
    const bool previousInProbe = std::exchange(m_bNewestByteInProbe, true);
    if (previous == kAck && b == kHeader2 && previousInProbe)
        m_bAckReceived = true;
    // A frame is complete exactly when its header has reached the oldest end.
    if (g_rxWindow[0] == kAck && g_rxWindow[1] == kHeader2) {
        m_display.SetWM(g_rxWindow[3]);
        m_display.SetSign(g_rxWindow[4]);
        m_display.SetUnit(g_rxWindow[5]);
        m_display.SetHex1(g_rxWindow[6]);
        m_display.SetHex2(g_rxWindow[7]);
        m_display.SetHex3(g_rxWindow[8]);
        m_display.SetHex4(g_rxWindow[9]);
        m_display.SetHex5(g_rxWindow[10]);
        m_display.SetHex6(g_rxWindow[11]);
        m_display.Display();
    }
    return 0;
}

int CScalePanelDlg::ProbePort(int nPort) {
    if (!m_serialPort.Open(this, static_cast<unsigned>(nPort), m_nBaud, m_cParity, m_nDataBits,
                           m_nStopBits, m_dwEventMask, kSendBufferSize)) {
        NoteScanFailure(nPort);
        return -1;
    }
    // Unwatched, the answer could never arrive; the engine has reported why.
    if (!m_serialPort.StartWatch()) {
        m_serialPort.Close();
        return -1;
    }
    // An answer that reached the previous port after its wait must not count for this one, nor
    // may a pair begun by the previous port's last byte.
    m_bAckReceived = false;
    m_bNewestByteInProbe = false;
    const std::uint8_t probe = kProbe;
    m_serialPort.SendBytes(&probe, 1);
    // Every message of the thread is handled meanwhile, the answer's bytes among them.
    window::PumpThreadFor(kProbeWait);
    if (m_bAckReceived) {
        const int shown = std::exchange(m_nPort, nPort);
        RememberPortDevice();
        m_nPort = shown;
        return nPort;
    }
    m_serialPort.Close();
    return -1;
}

void CScalePanelDlg::SendKey(std::uint8_t byte) {
    if (m_bClosed)
        return;
    m_serialPort.SendBytes(&byte, 1);
}

void CScalePanelDlg::OnKeyDataClick() {
    SendKey('D');
}
void CScalePanelDlg::OnKeyDataDblClk() {
    SendKey('D' | 0x80);
}
void CScalePanelDlg::OnKeyModeClick() {
    SendKey('M');
}
void CScalePanelDlg::OnKeyModeDblClk() {
    SendKey('M' | 0x80);
}
void CScalePanelDlg::OnKeyTareClick() {
    SendKey('T');
}
void CScalePanelDlg::OnKeyTareDblClk() {
    SendKey('T' | 0x80);
}
void CScalePanelDlg::OnKeyOnOffClick() {
    SendKey('O');
}
void CScalePanelDlg::OnKeyOnOffDblClk() {
    SendKey('O' | 0x80);
}
