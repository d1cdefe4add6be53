#include "wedge/PortalSink.h"

#include <QDBusObjectPath>

#include <thread>

#include "wedge/Keysyms.h"

namespace wedge {

std::unique_ptr<PortalSink> PortalSink::Open(std::unique_ptr<PortalBus> bus, std::string* error) {
    const auto created =
        bus->Request(QStringLiteral("CreateSession"), {},
                     {{QStringLiteral("session_handle_token"), QStringLiteral("karvel")}}, error);
    if (!created)
        return nullptr;
    const QString session = created->value(QStringLiteral("session_handle")).toString();
    if (session.isEmpty()) {
        *error = "the portal made no session";
        return nullptr;
    }
    const QVariant path = QVariant::fromValue(QDBusObjectPath(session));
    if (!bus->Request(QStringLiteral("SelectDevices"), {path},
                      {{QStringLiteral("types"), QVariant::fromValue(kPortalKeyboard)}}, error))
        return nullptr;
    const auto started = bus->Request(QStringLiteral("Start"), {path, QString()}, {}, error);
    if (!started)
        return nullptr;
    if ((started->value(QStringLiteral("devices")).toUInt() & kPortalKeyboard) == 0) {
        *error = "the desktop did not allow the keyboard";
        return nullptr;
    }
    return std::unique_ptr<PortalSink>(new PortalSink(std::move(bus), session));
}

PortalSink::PortalSink(std::unique_ptr<PortalBus> bus, QString session)
    : m_bus(std::move(bus)), m_session(std::move(session)) {}

bool PortalSink::Type(const Stroke& stroke, std::string* error) {
    const QVariant path = QVariant::fromValue(QDBusObjectPath(m_session));
    const int keysym = static_cast<int>(KeysymOf(stroke));
    for (const unsigned state : {1u, 0u}) {
        if (!m_bus->Call(QStringLiteral("NotifyKeyboardKeysym"),
                         {path, QVariantMap{}, keysym, state}, error))
            return false;
        std::this_thread::sleep_for(state == 1 ? kKeyHeld : kKeyGap);
    }
    return true;
}

}  // namespace wedge
