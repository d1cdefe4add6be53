#pragma once

// Keys sent by clients, on POST /api/v1/keys or a WebSocket: only while --http-keys is on, only
// with the bearer token, only the scale's key words. Each refusal is said once, through `refused`.
//
// Thread: the event loop's.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class QJsonObject;

namespace web {

class KeyGate {
  public:
    using Send = std::function<void(std::uint8_t key)>;
    using Refused = std::function<void(const std::string& peer, const std::string& why)>;
    KeyGate(bool on, std::string token, Send send, Refused refused);

    struct Answer {
        int status;         // 202 when the key went to the scale
        std::string error;  // else why not
    };
    // {"key":"TARE","double":false} with `authorization` "Bearer TOKEN".
    Answer FromRequest(const std::string& peer, const QByteArray& authorization,
                       const QByteArray& body) const;
    // The same with a "token" member, on a WebSocket; the message that answers it.
    QByteArray FromMessage(const std::string& peer, const QString& message) const;

  private:
    // Sends the key `body` names, or says why it names none.
    Answer Take(const QJsonObject& body) const;

    const bool m_on;
    const std::string m_token;
    const Send m_send;
    const Refused m_refused;
};

}  // namespace web
