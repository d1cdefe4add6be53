// The portal's object on the session bus, through QtDBus.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

#include "wedge/PortalResponse.h"
#include "wedge/PortalSink.h"

namespace wedge {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kObject = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
// The desktop asks the user to allow the session: time to read and click.
constexpr auto kRequestPatience = std::chrono::minutes(2);
constexpr int kCallPatienceMs = 10000;

class SessionBus final : public PortalBus {
  public:
    explicit SessionBus(QDBusConnection bus) : m_bus(std::move(bus)) {}

    std::optional<QVariantMap> Request(const QString& method, QVariantList args,
                                       QVariantMap options, std::string* error) override {
        const QString token = QStringLiteral("karvel%1").arg(++m_requests);
        options.insert(QStringLiteral("handle_token"), token);
        // Heard from before the call, so that a quick response is not missed.
        QString sender = m_bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        QString path =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
        PortalResponse response;
        const auto listen = [&](const QString& at, bool on) {
            return on ? m_bus.connect(kService, at, kRequest, QStringLiteral("Response"), &response,
                                      SLOT(OnResponse(uint, QVariantMap)))
                      : m_bus.disconnect(kService, at, kRequest, QStringLiteral("Response"),
                                         &response, SLOT(OnResponse(uint, QVariantMap)));
        };
        listen(path, true);
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kObject, kInterface, method);
        args.append(options);
        call.setArguments(args);
        const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallPatienceMs);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            listen(path, false);
            *error = "the desktop portal: " + reply.errorMessage().toStdString();
            return std::nullopt;
        }
        // Older portals choose the request's path themselves.
        const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (!handle.isEmpty() && handle != path) {
            listen(path, false);
            path = handle;
            listen(path, true);
        }
        if (!response.Received()) {
            QEventLoop loop;
            QTimer patience;
            patience.setSingleShot(true);
            QObject::connect(&patience, &QTimer::timeout, &loop, &QEventLoop::quit);
            QObject::connect(&response, &PortalResponse::received, &loop, &QEventLoop::quit);
            patience.start(kRequestPatience);
            loop.exec();
        }
        listen(path, false);
        const auto& answer = response.Received();
        if (!answer) {
            *error = "the desktop portal did not answer " + method.toStdString();
            return std::nullopt;
        }
        if (answer->code != 0) {
            *error = answer->code == 1 ? "the desktop's question to allow typing was declined"
                                       : "the desktop portal ended " + method.toStdString();
            return std::nullopt;
        }
        return answer->results;
    }

    bool Call(const QString& method, const QVariantList& args, std::string* error) override {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kObject, kInterface, method);
        call.setArguments(args);
        const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallPatienceMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        *error = "the desktop portal: " + reply.errorMessage().toStdString();
        return false;
    }

  private:
    QDBusConnection m_bus;
    int m_requests = 0;
};

}  // namespace

std::unique_ptr<PortalBus> SessionPortalBus(std::string* error) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *error = "no D-Bus session bus for the desktop portal";
        return nullptr;
    }
    return std::make_unique<SessionBus>(std::move(bus));
}

}  // namespace wedge
