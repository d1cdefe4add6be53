// A stand-in for the desktop's remote-desktop portal on the session bus, for the portal
// back-end's test: it answers CreateSession, SelectDevices and Start through Request objects as
// the portal does (a Response signal on the request's path), and prints each call on standard
// output, one line each: the method, then its arguments. "--decline METHOD" answers that
// request with response 1, as when the user declines.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QTimer>

#include <cstdio>

namespace {

class Portal final : public QDBusVirtualObject {
  public:
    explicit Portal(QString decline) : m_decline(std::move(decline)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        const QString method = message.member();
        const QVariantList args = message.arguments();
        QString line = method;
        for (const QVariant& arg : args) {
            if (arg.metaType() == QMetaType::fromType<QDBusObjectPath>())
                line += ' ' + arg.value<QDBusObjectPath>().path();
            else if (arg.metaType() == QMetaType::fromType<QDBusArgument>())
                line += QStringLiteral(" {...}");
            else
                line += ' ' + QString::fromLatin1(arg.metaType().name()) + ':' + arg.toString();
        }
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
        if (method == QLatin1String("NotifyKeyboardKeysym")) {
            bus.send(message.createReply());
            return true;
        }
        // The request's path is made of the caller's name and its token.
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        QString sender = message.service().mid(1);
        sender.replace('.', '_');
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(sender, options.value("handle_token").toString());
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results;
        if (method == QLatin1String("CreateSession"))
            results["session_handle"] = QStringLiteral("/org/freedesktop/portal/desktop/session/") +
                                        sender + '/' +
                                        options.value("session_handle_token").toString();
        if (method == QLatin1String("Start"))
            results["devices"] = QVariant::fromValue(1u);
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            message.service(), request, "org.freedesktop.portal.Request", "Response");
        response << QVariant::fromValue(method == m_decline ? 1u : 0u) << results;
        bus.send(response);
        return true;
    }

  private:
    QString m_decline;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf("--decline");
    Portal portal(at > 0 && at + 1 < args.size() ? args[at + 1] : QString());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject("/org/freedesktop/portal/desktop", &portal) ||
        !bus.registerService("org.freedesktop.portal.Desktop")) {
        std::fprintf(stderr, "fake portal: %s\n", bus.lastError().message().toUtf8().constData());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
