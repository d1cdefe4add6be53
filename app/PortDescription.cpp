#include "PortDescription.h"

#include <QFileInfo>

namespace {

const serial_port::PortInfo* FindPort(unsigned n, const std::vector<serial_port::PortInfo>& ports) {
    for (const serial_port::PortInfo& info : ports) {
        if (info.number == n)
            return &info;
    }
    return nullptr;
}

bool InRange(int n) {
    return n >= static_cast<int>(serial_port::kFirstPortNumber) &&
           n <= static_cast<int>(serial_port::kLastPortNumber);
}

}  // namespace

QString DescribePort(int portNumber, const std::vector<serial_port::PortInfo>& ports) {
    if (!InRange(portNumber))
        return QStringLiteral("COM%1: no such port").arg(portNumber);
    const serial_port::PortInfo* info = FindPort(static_cast<unsigned>(portNumber), ports);
    if (!info)
        return QStringLiteral("COM%1: no device on this machine").arg(portNumber);
    QString text =
        QStringLiteral("COM%1: %2").arg(portNumber).arg(QString::fromStdString(info->device));
    if (!info->description.empty())
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(info->description));
    return text;
}

QString ExplainOpenFailure(int portNumber, const serial_port::PortError& error) {
    using serial_port::ErrorKind;
    if (!InRange(portNumber))
        return QStringLiteral("COM%1 is not a port. Choose a port in the list first.")
            .arg(portNumber);
    const auto device = serial_port::ResolvePort(static_cast<unsigned>(portNumber));
    const QString path = device ? QString::fromStdString(*device) : QString();
    switch (error.kind) {
        case ErrorKind::kPermissionDenied: {
            const QString group = QFileInfo(path).group();
            return QStringLiteral(
                       "Permission denied for %1, which belongs to group '%2': add "
                       "your user to that group and log in again.")
                .arg(path, group.isEmpty() ? QStringLiteral("?") : group);
        }
        case ErrorKind::kBusy:
            return QStringLiteral("%1 (COM%2) is in use by another program.")
                .arg(path)
                .arg(portNumber);
        case ErrorKind::kNotFound:
        case ErrorKind::kDeviceGone:
            if (path.isEmpty())
                return QStringLiteral("There is no COM%1 on this machine (no such device).")
                    .arg(portNumber);
            return QStringLiteral(
                       "COM%1 stands for %2, which does not exist (no such device; "
                       "unplugged?).")
                .arg(portNumber)
                .arg(path);
        case ErrorKind::kNone:
            return QStringLiteral("COM%1 could not be opened.").arg(portNumber);
        default:
            return QStringLiteral("COM%1 (%2): %3")
                .arg(portNumber)
                .arg(path, QString::fromStdString(error.Describe()));
    }
}

QStringList ListPorts() {
    QStringList lines;
    for (const serial_port::PortInfo& info : serial_port::ListPorts())
        lines << QString::fromStdString(serial_port::PortLine(info));
    return lines;
}
