#include "web/Connections.h"

#include <QTcpSocket>

#include <utility>

namespace web {
namespace {

constexpr auto kSummaryEvery = std::chrono::seconds(1);

QByteArray Refusal(int status, const char* reason, const char* error) {
    const QByteArray body = QByteArray("{\"error\":\"") + error + "\"}";
    return "HTTP/1.1 " + QByteArray::number(status) + " " + reason +
           "\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

std::string PeerOf(const QTcpSocket& socket) {
    const QString address = socket.peerAddress().toString();
    return (address.contains(':') ? "[" + address + "]" : address).toStdString() + ":" +
           std::to_string(socket.peerPort());
}

Listener::Listener(Limits limits, Say say) : m_limits(limits), m_say(std::move(say)) {
    m_summary.setSingleShot(true);
    connect(&m_summary, &QTimer::timeout, this, [this] {
        if (m_unsaid != 0)
            m_say("http: refused " + std::to_string(std::exchange(m_unsaid, 0)) +
                  " more in the last second");
    });
}

std::shared_ptr<void> Listener::Count() {
    ++*m_open;
    return std::shared_ptr<void>(nullptr, [open = m_open](void*) { --*open; });
}

void Listener::Refused(const std::string& peer, const std::string& why) {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastSaid < kSummaryEvery) {
        ++m_unsaid;
        if (!m_summary.isActive())
            m_summary.start(kSummaryEvery);
        return;
    }
    m_say("http: refused " + peer + ": " + why);
    m_lastSaid = now;
}

void Listener::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);  // owned by the server until Qt HttpServer takes it
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    if (*m_open >= m_limits.clients) {
        Refused(PeerOf(*socket),
                "already serving " + std::to_string(*m_open) + " connections (--http-clients)");
        socket->write(Refusal(503, "Service Unavailable", "too many connections"));
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        return;
    }
    new Guard(socket, this, m_open);  // owned by the socket
    addPendingConnection(socket);     // QTcpServer says newConnection once this returns
}

Guard::Guard(QTcpSocket* socket, Listener* listener, std::shared_ptr<std::size_t> open)
    : QObject(socket), m_socket(socket), m_listener(listener), m_open(std::move(open)) {
    ++*m_open;
    m_timer.setSingleShot(true);
    // Before Qt HttpServer connects its own: the bytes are counted before they are parsed.
    connect(socket, &QTcpSocket::readyRead, this, &Guard::OnBytes);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_stage == Stage::kRequest)
            Refuse(408, "Request Timeout", "the request did not arrive in time");
        else if (m_stage == Stage::kIdle)
            m_socket->disconnectFromHost();  // idle: closed without a word
    });
    m_timer.start(listener->Bounds().idle);
}

Guard::~Guard() {
    --*m_open;
}

Guard* Guard::Of(const QObject* socket) {
    return socket->findChild<Guard*>();
}

void Guard::Answered() {
    if (m_stage == Stage::kStreaming)
        return;
    m_stage = Stage::kIdle;
    m_header = m_body = 0;
    m_headerDone = false;
    m_tail.clear();
    if (m_listener)
        m_timer.start(m_listener->Bounds().idle);
}

void Guard::Streaming() {
    m_stage = Stage::kStreaming;
    m_timer.stop();
}

void Guard::OnBytes() {
    if (m_stage == Stage::kStreaming || m_refused || !m_listener)
        return;
    const Limits& limits = m_listener->Bounds();
    if (m_stage == Stage::kIdle) {
        m_stage = Stage::kRequest;
        m_timer.start(limits.request);  // not restarted by more bytes: a trickle gains nothing
    }
    const QByteArray bytes = m_socket->peek(m_socket->bytesAvailable());
    std::size_t at = 0;
    if (!m_headerDone) {
        const std::string seen = m_tail + bytes.toStdString();
        const std::size_t end = seen.find("\r\n\r\n");
        if (end == std::string::npos) {
            m_header += static_cast<std::size_t>(bytes.size());
            m_tail = seen.substr(seen.size() > 3 ? seen.size() - 3 : 0);
            at = static_cast<std::size_t>(bytes.size());
        } else {
            const std::size_t used = end + 4 - m_tail.size();
            m_header += used;
            m_headerDone = true;
            at = used;
        }
        if (m_header > limits.headerBytes) {
            Refuse(
                431, "Request Header Fields Too Large",
                "a request header of more than " + std::to_string(limits.headerBytes) + " bytes");
            return;
        }
    }
    if (m_headerDone) {
        m_body += static_cast<std::size_t>(bytes.size()) - at;
        if (m_body > limits.bodyBytes)
            Refuse(413, "Content Too Large",
                   "a request body of more than " + std::to_string(limits.bodyBytes) + " bytes");
    }
}

void Guard::Refuse(int status, const char* reason, const std::string& why) {
    m_refused = true;
    m_timer.stop();
    if (m_listener)
        m_listener->Refused(PeerOf(*m_socket), why);
    m_socket->write(Refusal(status, reason, reason));
    m_socket->disconnectFromHost();
}

}  // namespace web
