#include "app/PortDescription.h"

#include "platform/component/ErrorText.h"
#include "platform/serial/DeviceAccess.h"

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

QString Q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

// "crw-rw----"-like letters for the permission bits.
QString ModeText(unsigned mode) {
    QString text;
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += (mode >> shift & 4) ? QLatin1Char('r') : QLatin1Char('-');
        text += (mode >> shift & 2) ? QLatin1Char('w') : QLatin1Char('-');
        text += (mode >> shift & 1) ? QLatin1Char('x') : QLatin1Char('-');
    }
    return text;
}

// Naming a group helps only when its members may read and write the device and it is not root.
QString PermissionAdvice(const QString& path) {
    const auto access = serial_port::ReadDeviceAccess(path.toLocal8Bit().toStdString());
    if (!access)
        return QStringLiteral("Permission denied for %1.").arg(path);
    const QString group = Q(access->group);
    if (access->groupMayReadWrite && !access->groupIsRoot) {
        if (access->processInGroup)
            return QStringLiteral(
                       "Permission denied for %1 although Karvel runs with its group '%2', which "
                       "may read and write it: an access list or a security policy refuses it; "
                       "ask the administrator.")
                .arg(path, group);
        if (access->accountInGroup && !access->processInGroup)
            return QStringLiteral(
                       "Permission denied for %1. Members of the group '%2' may open it, and "
                       "your user is one, but this session began before it joined: log out and "
                       "in again, or start Karvel with: sg %2 Karvel")
                .arg(path, group);
        return QStringLiteral(
                   "Permission denied for %1, which belongs to group '%2': add your user to that "
                   "group (sudo usermod -aG %2 $USER), then log out and in again.")
            .arg(path, group);
    }
    QString who;
    if (access->ownerMayReadWrite && access->groupMayReadWrite)
        who = QStringLiteral("the user '%1' and the group '%2'").arg(Q(access->owner), group);
    else if (access->ownerMayReadWrite)
        who = QStringLiteral("the user '%1'").arg(Q(access->owner));
    else
        who = QStringLiteral("the administrator (root)");
    QString kernelName = Q(access->device);
    if (kernelName.startsWith(QLatin1String("/dev/")))
        kernelName.remove(0, 5);
    else
        kernelName = kernelName.section(QLatin1Char('/'), -1);
    const QString match = access->usbVendor.empty()
                              ? QStringLiteral("KERNEL==\"%1\"").arg(kernelName)
                              : QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\"")
                                    .arg(Q(access->usbVendor), Q(access->usbProduct));
    return QStringLiteral(
               "Permission denied for %1: only %2 may open it (owner %3, group %4, %5). To let "
               "your user open it, have the administrator add a udev rule, for example the line\n"
               "  SUBSYSTEM==\"tty\", %6, TAG+=\"uaccess\"\n"
               "in /etc/udev/rules.d/70-serial-scale.rules (the user at the seat may then open "
               "it; GROUP=\"dialout\", MODE=\"0660\" instead lets that group's members), then "
               "plug the device in again; or run Karvel as a user who may open it.")
        .arg(path, who, Q(access->owner), group, ModeText(access->mode), match);
}

QString BusyAdvice(int portNumber, const QString& path) {
    const auto holder = serial_port::FindDeviceHolder(path.toLocal8Bit().toStdString());
    if (!holder)
        return QStringLiteral(
                   "%1 (COM%2) is in use by another program (which one is not visible to this "
                   "user). Close it there, then try again.")
            .arg(path)
            .arg(portNumber);
    return QStringLiteral(
               "%1 (COM%2) is in use by another program: %3 (process %4 of user '%5'). Close it "
               "there, then try again.")
        .arg(path)
        .arg(portNumber)
        .arg(holder->program.empty() ? QStringLiteral("?") : Q(holder->program))
        .arg(holder->pid)
        .arg(Q(holder->user));
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
    // The name that stays with the device when it is plugged in again.
    if (!info->byId.empty())
        text += QStringLiteral(", %1").arg(QString::fromStdString(info->byId));
    if (!info->description.empty())
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(info->description));
    return text;
}

QString ExplainOpenFailure(const serial_port::PortMap& ports, int portNumber,
                           const serial_port::PortError& error) {
    using serial_port::ErrorKind;
    if (!InRange(portNumber))
        return QStringLiteral("COM%1 is not a port. Choose a port in the list first.")
            .arg(portNumber);
    if (QString refused = FolderRefusalText(ports); !refused.isEmpty())
        return refused;
    const auto device = ports.Resolve(static_cast<unsigned>(portNumber));
    const QString path = device ? QString::fromStdString(*device) : QString();
    switch (error.kind) {
        case ErrorKind::kPermissionDenied:
            return PermissionAdvice(path);
        case ErrorKind::kBusy:
            return BusyAdvice(portNumber, path);
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

QString FolderRefusalText(const serial_port::PortMap& ports) {
    const std::string why = ports.FolderRefusal();
    if (why.empty())
        return {};
    return QStringLiteral(
               "No port of the port folder %1 is opened: %2. Another user could "
               "point its COM entries at a line of their own. Use a folder that "
               "only you (or root) own and can write (chmod go-w).")
        .arg(QString::fromStdString(component::Printable(ports.Folder())),
             QString::fromStdString(why));
}

QStringList ListPorts(const serial_port::PortMap& ports) {
    QStringList lines;
    for (const serial_port::PortInfo& info : ports.List())
        lines << QString::fromStdString(serial_port::PortLine(info));
    return lines;
}
