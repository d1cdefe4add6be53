#pragma once

// The answers the bridge writes itself, and the request being answered as the routes see it.
//
// Thread: the event loop's.

#include <QByteArray>
#include <QHttpServerRequest>
#include <QString>

#include <string>

class QJsonObject;
class QTcpSocket;

namespace web {

// {"error":"..."}
QByteArray ErrorBody(const std::string& error);
QByteArray Compact(const QJsonObject& object);

// Every answer: its length, never cached, never sniffed, never framed by another page.
void Respond(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
             const QByteArray& headers, bool close);
void RespondJson(QTcpSocket* socket, int status, const QByteArray& body, const QByteArray& headers,
                 bool close);

// Straight to the kernel while nothing waits in the socket's own buffer: no write notifier and
// no extra turn of the event loop for each event. What the kernel does not take now waits in
// Qt's buffer, which sends it in order once it can (and says so with bytesWritten).
void WriteNow(QTcpSocket* socket, const QByteArray& bytes);

// One request and what its answer carries whatever the route.
struct Exchange {
    Exchange(const QHttpServerRequest& asked, QTcpSocket* from);

    const QHttpServerRequest& request;
    QTcpSocket* const socket;
    const QString path;         // decoded
    const bool close;           // the client asked to close after the answer
    const bool upgrade;         // a WebSocket handshake
    QByteArray cors;            // the headers that let a named page read an API answer
    bool upgradeTaken = false;  // the handshake goes on to Qt WebSockets

    bool Api() const { return path.startsWith("/api/"); }
    void Json(int status, const QByteArray& body, const QByteArray& headers = {}) const;
    void Error(int status, const std::string& error, const QByteArray& headers = {}) const;
};

}  // namespace web
