#include "web/KeyGate.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <optional>
#include <utility>

#include "scale/KeyNames.h"
#include "web/Respond.h"
#include "web/Token.h"

namespace web {

KeyGate::KeyGate(bool on, std::string token, Send send, Refused refused)
    : m_on(on), m_token(std::move(token)), m_send(std::move(send)), m_refused(std::move(refused)) {}

KeyGate::Answer KeyGate::Take(const QJsonObject& body) const {
    const QJsonValue key = body.value("key");
    const QJsonValue twice = body.value("double");
    if (!key.isString() || !(twice.isUndefined() || twice.isBool()))
        return {400,
                "send {\"key\":\"DATA|MODE|TARE|ON/OFF\"} (and \"double\":true for a double "
                "click)"};
    const std::string name = key.toString().toStdString();
    const std::optional<std::uint8_t> byte =
        name.find_first_of(" \t\r\n") == std::string::npos
            ? scale::KeyByte(name + (twice.toBool() ? " double" : ""))
            : std::nullopt;
    if (!byte)
        return {400, "no such key: DATA, MODE, TARE or ON/OFF"};
    m_send(*byte);
    return {202, {}};
}

KeyGate::Answer KeyGate::FromRequest(const std::string& peer, const QByteArray& authorization,
                                     const QByteArray& body) const {
    if (!m_on) {
        m_refused(peer, "a key, and keys are off (--http-keys)");
        return {403, "keys are off"};
    }
    constexpr char kBearer[] = "Bearer ";
    if (!authorization.startsWith(kBearer) ||
        !SameToken(m_token, authorization.mid(sizeof kBearer - 1).toStdString())) {
        m_refused(peer,
                  authorization.isEmpty() ? "a key without a token" : "a key with a wrong token");
        return {401, "a key needs Authorization: Bearer TOKEN"};
    }
    return Take(QJsonDocument::fromJson(body).object());
}

QByteArray KeyGate::FromMessage(const std::string& peer, const QString& message) const {
    const auto error = [](const std::string& why) {
        return Compact(QJsonObject{{"event", "error"}, {"error", QString::fromStdString(why)}});
    };
    if (!m_on) {
        m_refused(peer, "a key on a WebSocket, and keys are off (--http-keys)");
        return error("keys are off");
    }
    const QJsonObject object = QJsonDocument::fromJson(message.toUtf8()).object();
    if (!SameToken(m_token, object.value("token").toString().toStdString())) {
        m_refused(peer, "a key on a WebSocket without the right token");
        return error("a key needs \"token\"");
    }
    const Answer answer = Take(object);
    if (answer.status != 202)
        return error(answer.error);
    return Compact(QJsonObject{{"event", "key"}, {"sent", true}});
}

}  // namespace web
