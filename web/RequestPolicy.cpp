#include "web/RequestPolicy.h"

#include <algorithm>

namespace web {
namespace {

QByteArray HostName(const QByteArray& host) {
    if (host.startsWith('['))
        return host.left(host.indexOf(']') + 1).toLower();
    const int colon = host.indexOf(':');
    return (colon < 0 ? host : host.left(colon)).toLower();
}

}  // namespace

RequestPolicy::RequestPolicy(const WebOptions& options)
    : m_loopback(options.Loopback()), m_origins(options.origins) {}

std::optional<RequestPolicy::Refusal> RequestPolicy::Check(const QByteArray& host,
                                                           const QByteArray& origin) const {
    if (m_loopback) {
        const QByteArray name = HostName(host);
        if (name != "127.0.0.1" && name != "localhost" && name != "[::1]")
            return Refusal{421,
                           "the host name '" + name.left(64).toStdString() + "' is not this one's",
                           "this server answers to 127.0.0.1, localhost and [::1] only"};
    }
    if (!OriginAllowed(origin, host))
        return Refusal{
            403, "the origin " + origin.left(128).toStdString() + " is not named (--http-origin)",
            "this origin is not allowed"};
    return std::nullopt;
}

bool RequestPolicy::OriginAllowed(const QByteArray& origin, const QByteArray& host) const {
    if (origin.isEmpty())
        return true;
    const std::string given = origin.toLower().toStdString();
    if (given == "http://" + host.toLower().toStdString())
        return true;  // our own page
    return std::find(m_origins.begin(), m_origins.end(), given) != m_origins.end();
}

QByteArray RequestPolicy::CorsOf(const QByteArray& origin, const QString& path) {
    if (origin.isEmpty() || !path.startsWith("/api/"))
        return {};
    return "Access-Control-Allow-Origin: " + origin + "\r\nVary: Origin\r\n";
}

QByteArray RequestPolicy::PreflightOf(const QByteArray& methods) {
    return "Access-Control-Allow-Methods: " + methods +
           "\r\nAccess-Control-Allow-Headers: Authorization, Content-Type\r\n"
           "Access-Control-Max-Age: 600\r\n";
}

}  // namespace web
