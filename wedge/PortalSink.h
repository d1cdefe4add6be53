#pragma once

// Typing through the desktop's remote-desktop portal (org.freedesktop.portal.RemoteDesktop), as
// on GNOME and KDE under Wayland, where XTEST reaches only X clients: a session for the keyboard
// alone, which the desktop asks the user to allow once, then one keysym press and release per
// stroke. The layout is the desktop's business.
//
// Thread: see KeySink.h. Open runs the portal's requests on the calling thread, which needs an
// event loop (a QCoreApplication) to hear their responses.

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <string>

#include "wedge/KeySink.h"

namespace wedge {

// The portal's object on the session bus, as the back-end calls it; tests stand in for it.
class PortalBus {
  public:
    virtual ~PortalBus() = default;
    // A method that answers through a Request object: the results of its Response, or nullopt
    // with `error` set (a refused or cancelled request, no portal, no answer in time).
    // `options` gets its handle_token from here.
    virtual std::optional<QVariantMap> Request(const QString& method, QVariantList args,
                                               QVariantMap options, std::string* error) = 0;
    // A method with no Request; false, with `error` set, when it failed.
    virtual bool Call(const QString& method, const QVariantList& args, std::string* error) = 0;
};

// The session bus's portal (org.freedesktop.portal.Desktop); nullptr, with `error` set, when no
// session bus can be reached.
std::unique_ptr<PortalBus> SessionPortalBus(std::string* error);

inline constexpr unsigned kPortalKeyboard = 1;  // the device type of SelectDevices

class PortalSink final : public KeySink {
  public:
    // Creates the session, asks for the keyboard and starts it; nullptr, with `error` set, when
    // the portal or the user refused.
    static std::unique_ptr<PortalSink> Open(std::unique_ptr<PortalBus> bus, std::string* error);

    std::string CannotType(const Strokes&) const override { return {}; }
    bool Type(const Stroke& stroke, std::string* error) override;

  private:
    PortalSink(std::unique_ptr<PortalBus> bus, QString session);

    std::unique_ptr<PortalBus> m_bus;
    QString m_session;  // the session's object path
};

}  // namespace wedge
