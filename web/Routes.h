#pragma once

// What the bridge answers on which path: a table of {method, path, handler}. A path that ends in
// "*" takes every path that begins with what comes before it; a route that names the path itself
// goes before those, and a longer beginning before a shorter one. A path that is answered, but
// not to the method asked, gets 405 and the methods it is answered to.
//
// Thread: the event loop's.

#include <QByteArray>
#include <QHttpServerRequest>
#include <QString>

#include <functional>
#include <vector>

#include "web/Respond.h"

namespace web {

class Routes {
  public:
    using Method = QHttpServerRequest::Method;
    using Handler = std::function<void(Exchange&)>;

    Routes& Add(Method method, QString path, Handler handler);
    // "GET", "POST": the methods `path` is answered to, in the table's order; empty for none.
    QByteArray MethodsOf(const QString& path) const;
    // Answers with the route's handler, 405 or 404.
    void Dispatch(Exchange& exchange) const;

  private:
    struct Route {
        Method method;
        QString path;
        Handler handler;
    };
    // The table's path that takes `path`; null when none does.
    const QString* PatternOf(const QString& path) const;

    std::vector<Route> m_routes;
};

}  // namespace web
