#include "web/StreamHub.h"

#include <QTcpSocket>
#include <QWebSocket>

#include <algorithm>
#include <chrono>
#include <utility>

#include "web/Connections.h"
#include "web/EventFeed.h"
#include "web/EventSockets.h"
#include "web/Respond.h"

namespace web {
namespace {

constexpr auto kKeepAlive = std::chrono::seconds(20);
constexpr qint64 kLargestMessage = 4 * 1024;
constexpr int kStreamBuffer = 64 * 1024;
// A write costs the sender the kernel's whole TCP path (on loopback the receiver's side too), so
// the batch's period grows with the clients to keep the writes a second bounded (about 500), up
// to a bound on how stale a reading may be shown.
constexpr std::size_t kFewClients = 4;
constexpr auto kBatchPerClient = std::chrono::milliseconds(2);
constexpr auto kLongestBatch = std::chrono::milliseconds(250);

QByteArray Number(std::uint64_t n) {
    return QByteArray::number(static_cast<qulonglong>(n));
}

// An event without an id (0: "missed") leaves the client's last id that of the last event it had.
QByteArray SseOf(const StreamHub::Event& event) {
    const QByteArray id = event.id ? "id: " + Number(event.id) + "\n" : QByteArray();
    return id + "event: " + event.name + "\ndata: " + event.data + "\n\n";
}

QByteArray WsOf(const StreamHub::Event& event) {
    return QByteArray("{\"event\":\"") + event.name + "\",\"id\":" + Number(event.id) +
           ",\"data\":" + event.data + "}";
}

}  // namespace

struct StreamHub::Stream {
    Feed kind = Feed::kReader;
    std::string scale;              // of a kScale stream
    QPointer<QTcpSocket> events;    // Server-Sent Events while Qt holds them,
    EventSockets* taken = nullptr;  // or once taken from Qt (`handle`)
    int handle = -1;
    std::shared_ptr<void> counted;       // among the listener's connections once taken
    std::unique_ptr<QWebSocket> socket;  // or a WebSocket
    std::unique_ptr<EventFeed> feed;
    std::string peer;
    bool gone = false;
    // Where this client came into the batch being gathered: what was before is not its.
    qsizetype batchBytes = 0;
    std::uint64_t batchEvents = 0;
    // Cut before anything here goes: the socket may outlive the stream, or go with it.
    std::vector<QMetaObject::Connection> links;

    ~Stream() {
        for (const auto& link : links)
            QObject::disconnect(link);
        if (handle >= 0)
            taken->Close(handle);
    }
    bool WebSocket() const { return socket != nullptr; }
    QByteArray Framed(const Event& event) const { return WebSocket() ? WsOf(event) : SseOf(event); }
    void Write(const QByteArray& bytes) {
        if (handle >= 0)
            taken->Write(handle, bytes);
        else if (events)
            WriteNow(events, bytes);
    }
    std::int64_t Unsent() const {
        if (handle >= 0)
            return taken->Unsent(handle);
        return events ? static_cast<std::int64_t>(events->bytesToWrite()) : 0;
    }
};

StreamHub::StreamHub(Hooks hooks) : m_hooks(std::move(hooks)) {
    m_batchTimer.setSingleShot(true);
    connect(&m_batchTimer, &QTimer::timeout, this, &StreamHub::Flush);
    connect(&m_keepAlive, &QTimer::timeout, this, [this] {
        for (const auto& stream : m_streams) {
            if (!stream->WebSocket() && !stream->gone)
                stream->feed->Send(": keep-alive\n\n");
        }
    });
}

StreamHub::~StreamHub() {
    m_streams.clear();
}

void StreamHub::Start(Listener* listener) {
    m_listener = listener;
    m_eventSockets = std::make_unique<EventSockets>();
    m_keepAlive.start(kKeepAlive);
}

void StreamHub::OpenEvents(QTcpSocket* socket, const QByteArray& cors, Feed feed,
                           const std::string& scale) {
    if (Guard* guard = Guard::Of(socket))
        guard->Streaming();
    // A small send buffer: a client that stops reading is seen soon and holds little memory.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kStreamBuffer);
    socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
        "X-Content-Type-Options: nosniff\r\n" +
        cors + "Connection: close\r\n\r\nretry: 2000\n\n");
    auto stream = std::make_unique<Stream>();
    Stream* raw = stream.get();
    stream->kind = feed;
    stream->scale = scale;
    stream->events = socket;
    stream->peer = PeerOf(*socket);
    stream->feed = std::make_unique<EventFeed>(EventFeed::Socket{
        [raw](const QByteArray& bytes) { raw->Write(bytes); }, [raw] { return raw->Unsent(); },
        [](std::uint64_t missed) {
            return SseOf({0, "missed", "{\"missed\":" + Number(missed) + "}"});
        }});
    raw->links.push_back(
        connect(socket, &QTcpSocket::bytesWritten, this, [raw] { raw->feed->Drained(); }));
    raw->links.push_back(connect(socket, &QObject::destroyed, this, [this, raw] {
        raw->events = nullptr;
        Gone(raw);
    }));
    raw->links.push_back(
        connect(socket, &QTcpSocket::disconnected, this, [this, raw] { Gone(raw); }));
    Add(std::move(stream));
    // Once Qt HttpServer has finished with the request that asked for it.
    QMetaObject::invokeMethod(
        this, [this, raw] { TakeOver(raw); }, Qt::QueuedConnection);
}

void StreamHub::TakeOver(Stream* raw) {
    const bool here = std::any_of(m_streams.begin(), m_streams.end(),
                                  [raw](const auto& stream) { return stream.get() == raw; });
    if (!here || raw->gone || !raw->events)
        return;
    QTcpSocket* socket = raw->events;
    socket->flush();  // the answer's head leaves before the connection changes hands
    const int handle = m_eventSockets->Adopt(socket, {[raw] { raw->feed->Drained(); },
                                                      [this, raw] {
                                                          raw->handle = -1;  // closed already
                                                          Gone(raw);
                                                      }});
    if (handle < 0)
        return;  // it stays with Qt, which serves it as well, only at a higher cost
    for (const auto& link : std::exchange(raw->links, {}))
        disconnect(link);
    if (m_listener)
        raw->counted = m_listener->Count();
    raw->taken = m_eventSockets.get();
    raw->handle = handle;
    raw->events = nullptr;
    socket->abort();  // Qt's descriptor only: the connection lives on in the copy
}

void StreamHub::AddWebSocket(std::unique_ptr<QWebSocket> socket, const std::string& peer) {
    socket->setMaxAllowedIncomingMessageSize(kLargestMessage);
    socket->setMaxAllowedIncomingFrameSize(kLargestMessage);
    auto stream = std::make_unique<Stream>();
    QWebSocket* ws = socket.get();
    stream->peer = peer;
    stream->feed = std::make_unique<EventFeed>(EventFeed::Socket{
        [ws](const QByteArray& bytes) { ws->sendTextMessage(QString::fromUtf8(bytes)); },
        [ws] { return static_cast<std::int64_t>(ws->bytesToWrite()); },
        [](std::uint64_t missed) {
            return "{\"event\":\"missed\",\"missed\":" + Number(missed) + "}";
        }});
    stream->socket = std::move(socket);
    Stream* raw = stream.get();
    raw->links.push_back(
        connect(ws, &QWebSocket::bytesWritten, this, [raw] { raw->feed->Drained(); }));
    raw->links.push_back(
        connect(ws, &QWebSocket::textMessageReceived, this, [this, raw](const QString& message) {
            raw->socket->sendTextMessage(QString::fromUtf8(m_hooks.message(raw->peer, message)));
        }));
    raw->links.push_back(connect(ws, &QWebSocket::disconnected, this, [this, raw] { Gone(raw); }));
    Add(std::move(stream));
}

void StreamHub::Add(std::unique_ptr<Stream> stream) {
    if (stream->kind == Feed::kReader && !stream->WebSocket()) {
        stream->batchBytes = m_batch.size();
        stream->batchEvents = m_batchEvents;
    }
    for (const Event& event : m_hooks.greeting(stream->kind, stream->scale))
        stream->feed->Send(stream->Framed(event));
    m_streams.push_back(std::move(stream));
}

bool StreamHub::Batch(const Event& event) {
    const auto events = std::count_if(m_streams.begin(), m_streams.end(), [](const auto& s) {
        return !s->gone && !s->WebSocket() && s->kind == Feed::kReader;
    });
    if (static_cast<std::size_t>(events) <= kFewClients) {
        Flush();  // what was gathered goes before this one
        return false;
    }
    m_batch += SseOf(event);
    ++m_batchEvents;
    if (!m_batchTimer.isActive())
        m_batchTimer.start(
            std::min<std::chrono::milliseconds>(kBatchPerClient * events, kLongestBatch));
    return true;
}

void StreamHub::Broadcast(const Event& event, Feed feed, const std::string& scale) {
    const bool batched = feed == Feed::kReader && Batch(event);
    QByteArray sse, ws;
    for (const auto& stream : m_streams) {
        if (stream->gone || stream->kind != feed ||
            (feed == Feed::kScale && stream->scale != scale) || (batched && !stream->WebSocket()))
            continue;
        QByteArray& message = stream->WebSocket() ? ws : sse;
        if (message.isEmpty())
            message = stream->Framed(event);
        stream->feed->Send(message);
    }
}

void StreamHub::Flush() {
    m_batchTimer.stop();
    if (m_batch.isEmpty())
        return;
    const QByteArray batch = std::exchange(m_batch, {});
    const std::uint64_t events = std::exchange(m_batchEvents, 0);
    for (const auto& stream : m_streams) {
        if (stream->gone || stream->WebSocket() || stream->kind != Feed::kReader)
            continue;
        const qsizetype from = std::exchange(stream->batchBytes, 0);
        const std::uint64_t before = std::exchange(stream->batchEvents, 0);
        if (from < batch.size())
            stream->feed->Send(from == 0 ? batch : batch.mid(from), events - before);
    }
}

void StreamHub::Gone(Stream* stream) {
    stream->gone = true;
    Sweep();
}

void StreamHub::Sweep() {
    if (std::exchange(m_sweepQueued, true))
        return;
    // Later: a stream may go while the list is being walked.
    QTimer::singleShot(0, this, [this] {
        m_sweepQueued = false;
        std::erase_if(m_streams, [](const auto& stream) { return stream->gone; });
    });
}

}  // namespace web
