#include "web/PageParts.h"

#include <QFile>

namespace web {
namespace {

struct PagePart {
    const char* path;
    const char* resource;
    const char* type;
};
constexpr PagePart kPage[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/page.js", ":/web/page.js", "text/javascript; charset=utf-8"},
    {"/page.css", ":/web/page.css", "text/css; charset=utf-8"},
    {"/geometry.js", ":/web/geometry.js", "text/javascript; charset=utf-8"},
    {"/icon.svg", ":/web/icon.svg", "image/svg+xml"},
    {"/favicon.ico", ":/web/icon.svg", "image/svg+xml"},
    {"/board.js", ":/web/board.js", "text/javascript; charset=utf-8"},
    {"/board.css", ":/web/board.css", "text/css; charset=utf-8"},
};
constexpr const char* kPolicy =
    "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; "
    "img-src 'self'; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'\r\n";

}  // namespace

void ServePart(const Exchange& exchange) {
    for (const PagePart& part : kPage) {
        if (exchange.path == part.path) {
            QFile file(part.resource);
            if (file.open(QIODevice::ReadOnly)) {
                Respond(exchange.socket, 200, part.type, file.readAll(), kPolicy, exchange.close);
                return;
            }
        }
    }
    RespondJson(exchange.socket, 404, ErrorBody("no such path"), {}, exchange.close);
}

void ServePage(const Exchange& exchange, const char* resource) {
    QFile file(resource);
    file.open(QIODevice::ReadOnly);
    Respond(exchange.socket, 200, "text/html; charset=utf-8", file.readAll(), kPolicy,
            exchange.close);
}

}  // namespace web
