#include "app/PortDescription.h"

#include "link/OpenAdvice.h"
#include "link/OwnWire.h"

namespace {

const serial_port::PortInfo* FindPort(unsigned n, const std::vector<serial_port::PortInfo>& ports) {
    for (const serial_port::PortInfo& info : ports) {
        if (info.number == n)
            return &info;
    }
    return nullptr;
}

}  // namespace

QString DescribePort(int portNumber, const std::vector<serial_port::PortInfo>& ports,
                     const QString& name) {
    if (portNumber <= 0 || !serial_port::IsPortNumber(static_cast<unsigned>(portNumber)))
        return QStringLiteral("COM%1: no such port").arg(portNumber);
    const serial_port::PortInfo* info = FindPort(static_cast<unsigned>(portNumber), ports);
    if (!info)
        return QStringLiteral("COM%1: no device on this machine").arg(portNumber);
    const QString device = QString::fromStdString(info->device);
    // A path the user named is its own name.
    QString text = name == device ? device : QStringLiteral("%1: %2").arg(name, device);
    // The name that stays with the device when it is plugged in again.
    if (!info->byId.empty())
        text += QStringLiteral(", %1").arg(QString::fromStdString(info->byId));
    std::string description = info->description;
    if (const std::string kind = scale_link::WireKind(info->device); !kind.empty())
        description = kind + (description.empty() ? "" : ", " + description);
    if (!description.empty())
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(description));
    return text;
}

QString ExplainOpenFailure(const serial_port::PortMap& ports, int portNumber,
                           const serial_port::PortError& error) {
    return QString::fromStdString(
        scale_link::ExplainOpenFailure(ports, portNumber, error, "Karvel"));
}

QString FolderRefusalText(const serial_port::PortMap& ports) {
    return QString::fromStdString(scale_link::FolderRefusalText(ports));
}

QStringList ListPorts(const serial_port::PortMap& ports) {
    QStringList lines;
    for (const serial_port::PortInfo& info : ports.List())
        lines << QString::fromStdString(serial_port::PortLine(info));
    return lines;
}
