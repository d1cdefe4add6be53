#pragma once

// Whom the bridge answers, decided before any route: on the loopback address only loopback host
// names (so a name that resolves there cannot reach in), and pages of other origins only when
// named (--http-origin); those alone get the CORS headers that let them read the API, and its
// preflight is answered here.
//
// Thread: the event loop's.

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "web/WebOptions.h"

namespace web {

class RequestPolicy {
  public:
    explicit RequestPolicy(const WebOptions& options);

    struct Refusal {
        int status;
        std::string why;    // for the log
        std::string error;  // for the client
    };
    // Why a request with these headers is not answered; nullopt when it is.
    std::optional<Refusal> Check(const QByteArray& host, const QByteArray& origin) const;
    // Whether a page of `origin` may be answered; an absent origin is no page's.
    bool OriginAllowed(const QByteArray& origin, const QByteArray& host) const;

    // The headers that let `origin` read an answer on `path`: for the API only.
    static QByteArray CorsOf(const QByteArray& origin, const QString& path);
    // The preflight's headers for a path answered to `methods` ("GET").
    static QByteArray PreflightOf(const QByteArray& methods);

  private:
    const bool m_loopback;
    const std::vector<std::string> m_origins;
};

}  // namespace web
