#include "bench/mirror/PeerReader.h"

#include <QSerialPort>
#include <QWidget>
#include <cstdint>
#include <cstdio>

#include "app/CLumeq.h"
#include "app/Resources.h"
#include "bench/mirror/ReaderSession.h"
#include "platform/component/Activation.h"
#include "scale/FrameWindow.h"
#include "scale/families/Family.h"
#include "scale/families/Shown.h"

namespace mirror {

namespace {

// Where the panel places its display control, in pixels.
const QRect kDisplayRect(0, 0, 359, 101);

class PeerLine {
  public:
    PeerLine(CLumeq& display, ReaderSession& session, bool lines)
        : m_display(display), m_session(session) {
        if (!lines)
            return;
        std::string error;
        m_decoder = scale::families::MakeDecoder(*scale::families::Find(kLineFamily),
                                                 {kLineBaud, 'N', 8, 1}, "", &error);
    }

    bool Open(const QString& device) {
        m_port.setPortName(device);
        const qint32 baud = m_decoder ? kLineBaud : QSerialPort::Baud9600;
        if (!m_port.open(QIODevice::ReadWrite) || !m_port.setBaudRate(baud) ||
            !m_port.setDataBits(QSerialPort::Data8) || !m_port.setParity(QSerialPort::NoParity) ||
            !m_port.setStopBits(QSerialPort::OneStop) ||
            !m_port.setFlowControl(QSerialPort::NoFlowControl)) {
            std::fprintf(stderr, "mirror: %s: %s\n", qPrintable(device),
                         qPrintable(m_port.errorString()));
            return false;
        }
        QObject::connect(&m_port, &QSerialPort::readyRead, [this] { OnReadyRead(); });
        return true;
    }

  private:
    void OnReadyRead() {
        char buffer[256];
        qint64 n = 0;
        while ((n = m_port.read(buffer, sizeof buffer)) > 0) {
            if (m_decoder) {
                OnBytes(
                    {reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(n)});
                continue;
            }
            for (qint64 i = 0; i < n; ++i)
                OnByte(static_cast<std::uint8_t>(buffer[i]));
        }
    }

    void OnBytes(std::span<const std::uint8_t> bytes) {
        m_decoded.clear();
        m_decoder->Push(bytes, &m_decoded);
        for (const scale::families::Decoded& decoded : m_decoded) {
            const scale::families::Shown shown = scale::families::ShownOf(decoded.reading);
            m_display.SetValues(shown.values);
            m_display.SetReadingUnit(shown.otherUnit);
            m_display.Display();
            const bool ready =
                decoded.reading.number && decoded.reading.number->value == kReadyWeight;
            if (!ready)
                m_session.FrameShown(0);
        }
    }

    void OnByte(std::uint8_t b) {
        if (!m_window.Push(b))
            return;
        m_display.SetValues(m_window.FrameSlots());
        m_display.Display();
        m_session.FrameShown(m_window.Bytes()[scale::kIgnoredByte]);
    }

    CLumeq& m_display;
    ReaderSession& m_session;
    QSerialPort m_port;
    scale::FrameWindow m_window;
    std::unique_ptr<scale::families::Decoder> m_decoder;  // for lines
    std::vector<scale::families::Decoded> m_decoded;
};

}  // namespace

int RunPeerReader(const QString& device, bool lines) {
    QWidget host;
    host.resize(kDisplayRect.size());
    CLumeq display;
    const std::vector<std::uint8_t> state = resources::PanelDisplayState();
    if (component::Failed(display.Create(&host, kDisplayRect, state, component::CreateInstance)) ||
        display.Widget() == nullptr) {
        std::fprintf(stderr, "mirror: the display control cannot be created: %s\n",
                     component::LastActivationError().c_str());
        return 1;
    }
    // As the panel starts it: green background, black elements, every slot cleared.
    display.SetBackColor(0x0000FF00);
    display.SetForeColor1(0);
    for (auto set :
         {&CLumeq::SetWM, &CLumeq::SetSign, &CLumeq::SetUnit, &CLumeq::SetHex1, &CLumeq::SetHex2,
          &CLumeq::SetHex3, &CLumeq::SetHex4, &CLumeq::SetHex5, &CLumeq::SetHex6})
        (display.*set)(0);
    ReaderSession session(display.Widget());
    PeerLine line(display, session, lines);
    if (lines)
        session.TagFromPicture([&display] { return TagShownBy(display.Widget()); });
    if (!line.Open(device))
        return 1;
    host.show();
    const int code = session.Run();
    display.Detach();
    return code;
}

}  // namespace mirror
