#include "web/Routes.h"

#include <QByteArrayList>

#include <utility>

namespace web {
namespace {

const char* NameOf(Routes::Method method) {
    using Method = Routes::Method;
    switch (method) {
        case Method::Get:
            return "GET";
        case Method::Post:
            return "POST";
        case Method::Put:
            return "PUT";
        case Method::Delete:
            return "DELETE";
        default:
            return "OPTIONS";
    }
}

bool Takes(const QString& pattern, const QString& path) {
    return pattern.endsWith('*') ? path.startsWith(QStringView(pattern).chopped(1))
                                 : path == pattern;
}

}  // namespace

Routes& Routes::Add(Method method, QString path, Handler handler) {
    m_routes.push_back({method, std::move(path), std::move(handler)});
    return *this;
}

const QString* Routes::PatternOf(const QString& path) const {
    const QString* best = nullptr;
    for (const Route& route : m_routes) {
        if (!Takes(route.path, path))
            continue;
        if (!route.path.endsWith('*'))
            return &route.path;
        if (!best || route.path.size() > best->size())
            best = &route.path;
    }
    return best;
}

QByteArray Routes::MethodsOf(const QString& path) const {
    QByteArrayList names;
    if (const QString* pattern = PatternOf(path)) {
        for (const Route& route : m_routes) {
            if (route.path == *pattern && !names.contains(NameOf(route.method)))
                names.append(NameOf(route.method));
        }
    }
    return names.join(", ");
}

void Routes::Dispatch(Exchange& exchange) const {
    const QString* pattern = PatternOf(exchange.path);
    if (!pattern) {
        exchange.Error(404, "no such path");
        return;
    }
    const auto method = exchange.request.method();
    for (const Route& route : m_routes) {
        if (route.path == *pattern && route.method == method) {
            route.handler(exchange);
            return;
        }
    }
    const QByteArray allowed = MethodsOf(exchange.path);
    exchange.Error(405, "use " + allowed.left(allowed.indexOf(',')).toStdString(),
                   "Allow: " + allowed + "\r\n");
}

}  // namespace web
