#include "web/Respond.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <sys/socket.h>

#include <cerrno>

namespace web {
namespace {

const char* ReasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 202:
            return "Accepted";
        case 204:
            return "No Content";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 421:
            return "Misdirected Request";
        case 426:
            return "Upgrade Required";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

}  // namespace

QByteArray ErrorBody(const std::string& error) {
    return Compact(QJsonObject{{"error", QString::fromStdString(error)}});
}

QByteArray Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void Respond(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
             const QByteArray& headers, bool close) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " " + ReasonOf(status) + "\r\n";
    if (!type.isEmpty())
        out += "Content-Type: " + type + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) +
           "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
           "X-Frame-Options: DENY\r\nReferrer-Policy: no-referrer\r\n" +
           headers + (close ? "Connection: close\r\n" : "") + "\r\n" + body;
    socket->write(out);
    if (close)
        socket->disconnectFromHost();
}

void RespondJson(QTcpSocket* socket, int status, const QByteArray& body, const QByteArray& headers,
                 bool close) {
    Respond(socket, status, "application/json", body, headers, close);
}

void WriteNow(QTcpSocket* socket, const QByteArray& bytes) {
    qint64 sent = 0;
    if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState) {
        ssize_t n = 0;
        do {
            n = ::send(static_cast<int>(socket->socketDescriptor()), bytes.constData(),
                       static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        sent = n > 0 ? n : 0;  // a socket that failed is left to Qt to find and report
    }
    if (sent == 0)
        socket->write(bytes);
    else if (sent < bytes.size())
        socket->write(bytes.constData() + sent, bytes.size() - sent);
}

Exchange::Exchange(const QHttpServerRequest& asked, QTcpSocket* from)
    : request(asked),
      socket(from),
      path(asked.url().path(QUrl::FullyDecoded)),
      close(asked.value("connection").toLower().contains("close")),
      upgrade(asked.value("upgrade").toLower() == "websocket") {}

void Exchange::Json(int status, const QByteArray& body, const QByteArray& headers) const {
    RespondJson(socket, status, body, cors + headers, close);
}

void Exchange::Error(int status, const std::string& error, const QByteArray& headers) const {
    Json(status, ErrorBody(error), headers);
}

}  // namespace web
