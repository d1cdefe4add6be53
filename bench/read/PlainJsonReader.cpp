// plain_json_reader DEVICE: the simplest peer of karvel-read. QSerialPort on the event loop,
// the scale's frame window, every frame as the same JSON line on standard output. No probe, no
// port map, no hot-plug, no broker.

#include <QCoreApplication>
#include <QSerialPort>

#include <unistd.h>

#include <csignal>
#include <string>

#include "record/Capture.h"
#include "record/Forms.h"
#include "scale/FrameWindow.h"

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    if (!port.open(QIODevice::ReadWrite))
        return 1;
    scale::FrameWindow window;
    record::Capturer capturer(record::CaptureRule::kEvery);
    const std::string device = argv[1];
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        for (const char c : port.readAll()) {
            if (!window.Push(static_cast<std::uint8_t>(c)))
                continue;
            const scale::FrameBytes& bytes = window.Bytes();
            const scale::Frame frame{bytes, scale::SlotsOf(bytes), std::chrono::system_clock::now(),
                                     std::chrono::steady_clock::now()};
            if (auto reading = capturer.Offer(frame, 1, device)) {
                const std::string line = record::JsonObject(*reading, "peer") + "\n";
                if (::write(1, line.data(), line.size()) < 0)
                    QCoreApplication::exit(0);
            }
        }
    });
    return QCoreApplication::exec();
}
