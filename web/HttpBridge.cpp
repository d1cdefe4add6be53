#include "web/HttpBridge.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "scale/KeyNames.h"
#include "web/Connections.h"
#include "web/EventFeed.h"
#include "web/EventSockets.h"
#include "web/Token.h"

namespace web {
namespace {

constexpr auto kKeepAlive = std::chrono::seconds(20);
constexpr qint64 kLargestMessage = 4 * 1024;
constexpr int kStreamBuffer = 64 * 1024;
// Beyond this many event-stream clients of the reader, each event is no longer written to each
// of them at once: the events of a period go to each in one write. A write costs the sender the
// kernel's whole TCP path (on loopback the receiver's side too), so the period grows with the
// clients to keep the writes a second bounded (about 500), up to a bound on how stale a reading
// may be shown.
constexpr std::size_t kFewClients = 4;
constexpr auto kBatchPerClient = std::chrono::milliseconds(2);
constexpr auto kLongestBatch = std::chrono::milliseconds(250);

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

QByteArray ErrorBody(const std::string& error) {
    return QJsonDocument(QJsonObject{{"error", QString::fromStdString(error)}})
        .toJson(QJsonDocument::Compact);
}

// Every answer: its length, never cached, never sniffed, never framed by another page.
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

// Straight to the kernel while nothing waits in the socket's own buffer: no write notifier and
// no extra turn of the event loop for each event. What the kernel does not take now waits in
// Qt's buffer, which sends it in order once it can (and says so with bytesWritten).
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

QByteArray HostName(const QByteArray& host) {
    if (host.startsWith('['))
        return host.left(host.indexOf(']') + 1).toLower();
    const int colon = host.indexOf(':');
    return (colon < 0 ? host : host.left(colon)).toLower();
}

QByteArray SseOf(std::uint64_t id, const char* event, const QByteArray& data) {
    return "id: " + QByteArray::number(static_cast<qulonglong>(id)) + "\nevent: " + event +
           "\ndata: " + data + "\n\n";
}

QByteArray WsOf(std::uint64_t id, const char* event, const QByteArray& data) {
    return QByteArray("{\"event\":\"") + event +
           "\",\"id\":" + QByteArray::number(static_cast<qulonglong>(id)) + ",\"data\":" + data +
           "}";
}

// The page and its parts; all served from the program itself.
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

class Server : public QAbstractHttpServer {
  public:
    explicit Server(HttpBridge* bridge) : m_bridge(bridge) {}

  protected:
    // Qt HttpServer asks this before it upgrades a WebSocket too: false refuses the upgrade.
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        return m_bridge->Handle(request, socket);
    }
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

  private:
    HttpBridge* const m_bridge;
};

struct HttpBridge::Stream {
    Feed kind = Feed::kReader;
    std::string scale;              // of a kScale stream
    QPointer<QTcpSocket> events;    // Server-Sent Events while Qt holds them,
    EventSockets* taken = nullptr;  // or once taken from Qt (`handle`)
    int handle = -1;
    std::shared_ptr<void> counted;       // among the listener's connections once taken
    std::unique_ptr<QWebSocket> socket;  // or a WebSocket
    std::unique_ptr<EventFeed> feed;
    std::string peer;
    bool websocket = false;
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

HttpBridge::HttpBridge(WebOptions options, std::string token, Hooks hooks)
    : m_options(std::move(options)), m_token(std::move(token)), m_hooks(std::move(hooks)) {
    m_batchTimer.setSingleShot(true);
    connect(&m_batchTimer, &QTimer::timeout, this, &HttpBridge::Flush);
}

HttpBridge::~HttpBridge() {
    m_streams.clear();
    m_server.reset();
}

bool HttpBridge::Start(std::string* error) {
    Limits limits;
    limits.clients = m_options.clients;
    m_server = std::make_unique<Server>(this);
    auto listener = std::make_unique<Listener>(limits, m_hooks.say);
    const QHostAddress address(QString::fromStdString(m_options.address));
    if (!listener->listen(address, static_cast<quint16>(m_options.port))) {
        *error =
            "cannot listen on " + m_options.listen + ": " + listener->errorString().toStdString();
        return false;
    }
    m_eventSockets = std::make_unique<EventSockets>();
    listener->setParent(m_server.get());
    m_listener = listener.get();
    m_server->bind(listener.release());  // owned by the server
    connect(m_server.get(), &QAbstractHttpServer::newWebSocketConnection, this,
            &HttpBridge::OnWebSocket);
    auto* keepAlive = new QTimer(this);  // owned by the bridge
    connect(keepAlive, &QTimer::timeout, this, [this] {
        for (const auto& stream : m_streams) {
            if (!stream->websocket && !stream->gone)
                stream->feed->Send(": keep-alive\n\n");
        }
    });
    keepAlive->start(kKeepAlive);
    const std::string host = address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? "[" + m_options.address + "]"
                                 : m_options.address;
    m_hooks.say("http: serving http://" + host + ":" + std::to_string(Port()) + "/");
    if (!m_options.Loopback())
        m_hooks.say("http: listening on " + m_options.address +
                    ", not only this machine: other machines on that network can read the scale" +
                    (m_options.keys ? " and, with the token, send keys" : ""));
    return true;
}

int HttpBridge::Port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

void HttpBridge::Reading(const std::string& json) {
    m_latest = QByteArray::fromStdString(json);
    m_latestId = ++m_lastId;
    Broadcast("reading", m_latest);
}

void HttpBridge::PortOpened(const std::string& port, const std::string& device) {
    if (m_stage == PortStage::kOpen && m_portName == QByteArray::fromStdString(port))
        return;  // said already
    m_portName = QByteArray::fromStdString(port);
    m_device = QByteArray::fromStdString(device);
    const bool back = m_everOpened;
    m_everOpened = true;
    m_stage = PortStage::kOpen;
    ++m_lastId;
    Broadcast("state", back ? StateData().replace("\"opened\"", "\"back\"") : StateData());
}

void HttpBridge::PortLost() {
    if (m_stage != PortStage::kOpen)
        return;
    m_stage = PortStage::kLost;
    ++m_lastId;
    Broadcast("state", StateData());
}

QByteArray HttpBridge::StateData() const {
    const char* state = m_stage == PortStage::kOpen   ? "opened"
                        : m_stage == PortStage::kLost ? "lost"
                                                      : "none";
    return QJsonDocument(QJsonObject{{"state", state},
                                     {"port", QString::fromUtf8(m_portName)},
                                     {"device", QString::fromUtf8(m_device)}})
        .toJson(QJsonDocument::Compact);
}

bool HttpBridge::OriginAllowed(const QByteArray& origin, const QByteArray& host) const {
    if (origin.isEmpty())
        return true;
    const std::string given = origin.toLower().toStdString();
    if (given == "http://" + host.toLower().toStdString())
        return true;  // our own page
    return std::find(m_options.origins.begin(), m_options.origins.end(), given) !=
           m_options.origins.end();
}

bool HttpBridge::Handle(const QHttpServerRequest& request, QTcpSocket* socket) {
    Guard* guard = Guard::Of(socket);
    const bool upgrade = request.value("upgrade").toLower() == "websocket";
    // A refused connection, or more asked on an event stream, gets no answer.
    if (guard && (guard->Refused() || guard->IsStreaming()))
        return !upgrade;
    const QString path = request.url().path(QUrl::FullyDecoded);
    const QByteArray host = request.value("host");
    const QByteArray origin = request.value("origin");
    const bool close = request.value("connection").toLower().contains("close");
    const std::string peer = PeerOf(*socket);
    const auto refuse = [&](int status, const std::string& why, const std::string& error) {
        if (m_listener)
            m_listener->Refused(peer, why);
        RespondJson(socket, status, ErrorBody(error), {}, close);
    };
    if (guard)
        guard->Answered();

    if (m_options.Loopback()) {
        const QByteArray name = HostName(host);
        if (name != "127.0.0.1" && name != "localhost" && name != "[::1]") {
            refuse(421, "the host name '" + name.left(64).toStdString() + "' is not this one's",
                   "this server answers to 127.0.0.1, localhost and [::1] only");
            return !upgrade;
        }
    }
    const bool api = path.startsWith("/api/");
    if (!OriginAllowed(origin, host)) {
        refuse(403,
               "the origin " + origin.left(128).toStdString() + " is not named (--http-origin)",
               "this origin is not allowed");
        return !upgrade;
    }
    const QByteArray cors = origin.isEmpty() || !api
                                ? QByteArray()
                                : "Access-Control-Allow-Origin: " + origin + "\r\nVary: Origin\r\n";
    const auto method = request.method();
    using Method = QHttpServerRequest::Method;

    if (api && method == Method::Options) {
        const bool keysPath = path == "/api/v1/keys";
        RespondJson(socket, 204, {},
                    cors + "Access-Control-Allow-Methods: " + (keysPath ? "POST" : "GET") +
                        "\r\nAccess-Control-Allow-Headers: Authorization, Content-Type\r\n"
                        "Access-Control-Max-Age: 600\r\n",
                    close);
        return !upgrade;
    }
    if (path == "/api/v1/keys") {
        if (method != Method::Post)
            RespondJson(socket, 405, ErrorBody("use POST"), cors + "Allow: POST, OPTIONS\r\n",
                        close);
        else
            TakeKey(request, socket, cors);
        return !upgrade;
    }
    if (method != Method::Get) {
        RespondJson(socket, 405, ErrorBody("use GET"), cors + "Allow: GET\r\n", close);
        return !upgrade;
    }
    if (m_options.Board()) {
        const QString scaleEvents = "/api/v1/scales/";
        if (path == "/api/v1/board") {
            QByteArray all = "{\"scales\":[";
            for (const auto& [id, tile] : m_tiles)
                all += (all.endsWith('[') ? "" : ",") + TileData(id, tile);
            RespondJson(socket, 200, all + "]}", cors, close);
        } else if (path == "/api/v1/board/events") {
            OpenEvents(socket, cors, Feed::kBoard);
        } else if (path.startsWith(scaleEvents) && path.endsWith("/events")) {
            const qsizetype length = path.size() - scaleEvents.size() - 7;
            OpenEvents(socket, cors, Feed::kScale,
                       path.mid(scaleEvents.size(), length).toStdString());
        } else if (path == "/" || path.startsWith("/scale/")) {
            QFile file(path == "/" ? ":/web/board.html" : ":/web/index.html");
            file.open(QIODevice::ReadOnly);
            Respond(socket, 200, "text/html; charset=utf-8", file.readAll(), kPolicy, close);
        } else if (path.startsWith("/api/")) {
            RespondJson(socket, 404, ErrorBody("a board has no such path"), cors, close);
        } else {
            ServePart(socket, path, close);
        }
        return !upgrade;
    }
    if (path == "/api/v1/reading") {
        if (m_latest.isEmpty() || m_stage != PortStage::kOpen) {
            const char* why = m_stage == PortStage::kLost ? "port lost" : "no reading yet";
            RespondJson(
                socket, 503,
                QJsonDocument(
                    QJsonObject{{"error", why},
                                {"state", m_stage == PortStage::kLost ? "lost" : "waiting"}})
                    .toJson(QJsonDocument::Compact),
                cors + "Retry-After: 1\r\n", close);
        } else {
            RespondJson(socket, 200, m_latest, cors, close);
        }
        return !upgrade;
    }
    if (path == "/api/v1/events") {
        OpenEvents(socket, cors, Feed::kReader);
        return !upgrade;
    }
    if (path == "/api/v1/ws" && upgrade) {
        // Qt WebSockets answers the handshake (and times it out); OnWebSocket takes the socket.
        if (guard)
            guard->Streaming();
        return true;
    }
    if (path == "/api/v1/ws") {
        RespondJson(socket, 426, ErrorBody("a WebSocket: ask with Upgrade: websocket"),
                    cors + "Upgrade: websocket\r\n", close);
        return !upgrade;
    }
    ServePart(socket, path, close);
    return !upgrade;
}

void HttpBridge::ServePart(QTcpSocket* socket, const QString& path, bool close) {
    for (const PagePart& part : kPage) {
        if (path == part.path) {
            QFile file(part.resource);
            if (file.open(QIODevice::ReadOnly)) {
                Respond(socket, 200, part.type, file.readAll(), kPolicy, close);
                return;
            }
        }
    }
    RespondJson(socket, 404, ErrorBody("no such path"), {}, close);
}

void HttpBridge::OpenEvents(QTcpSocket* socket, const QByteArray& cors, Feed feed,
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
            return SseOf(
                0, "missed",
                "{\"missed\":" + QByteArray::number(static_cast<qulonglong>(missed)) + "}");
        }});
    raw->links.push_back(
        connect(socket, &QTcpSocket::bytesWritten, this, [raw] { raw->feed->Drained(); }));
    raw->links.push_back(connect(socket, &QObject::destroyed, this, [this, raw] {
        raw->gone = true;
        raw->events = nullptr;
        Sweep();
    }));
    raw->links.push_back(connect(socket, &QTcpSocket::disconnected, this, [this, raw] {
        raw->gone = true;
        Sweep();
    }));
    Add(std::move(stream));
    // Once Qt HttpServer has finished with the request that asked for it.
    QMetaObject::invokeMethod(
        this, [this, raw] { TakeOver(raw); }, Qt::QueuedConnection);
}

void HttpBridge::TakeOver(Stream* raw) {
    const bool here = std::any_of(m_streams.begin(), m_streams.end(),
                                  [raw](const auto& stream) { return stream.get() == raw; });
    if (!here || raw->gone || !raw->events)
        return;
    QTcpSocket* socket = raw->events;
    socket->flush();  // the answer's head leaves before the connection changes hands
    const int handle = m_eventSockets->Adopt(socket, {[raw] { raw->feed->Drained(); },
                                                      [this, raw] {
                                                          raw->handle = -1;  // closed already
                                                          raw->gone = true;
                                                          Sweep();
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

void HttpBridge::Add(std::unique_ptr<Stream> stream) {
    const auto encode = [&stream](std::uint64_t id, const char* event, const QByteArray& data) {
        return stream->websocket ? WsOf(id, event, data) : SseOf(id, event, data);
    };
    if (stream->kind == Feed::kBoard) {
        for (const auto& [id, tile] : m_tiles)
            stream->feed->Send(SseOf(m_lastId, "tile", TileData(id, tile)));
        m_streams.push_back(std::move(stream));
        return;
    }
    if (stream->kind == Feed::kScale) {
        if (const auto tile = m_tiles.find(stream->scale); tile != m_tiles.end()) {
            stream->feed->Send(SseOf(m_lastId, "state", ScaleState(tile->first, tile->second)));
            if (!tile->second.reading.isEmpty())
                stream->feed->Send(SseOf(m_lastId, "reading", tile->second.reading));
        }
        m_streams.push_back(std::move(stream));
        return;
    }
    if (!stream->websocket) {
        stream->batchBytes = m_batch.size();
        stream->batchEvents = m_batchEvents;
    }
    // A new client learns where things stand: the port, then the newest reading.
    if (m_stage != PortStage::kNone)
        stream->feed->Send(encode(m_lastId, "state", StateData()));
    if (!m_latest.isEmpty())
        stream->feed->Send(encode(m_latestId, "reading", m_latest));
    m_streams.push_back(std::move(stream));
}

void HttpBridge::Broadcast(const char* event, const QByteArray& data, Feed feed,
                           const std::string& scale) {
    QByteArray sse, ws;
    bool batched = false;
    if (feed == Feed::kReader) {
        const auto events = std::count_if(m_streams.begin(), m_streams.end(), [](const auto& s) {
            return !s->gone && !s->websocket && s->kind == Feed::kReader;
        });
        batched = static_cast<std::size_t>(events) > kFewClients;
        if (batched) {
            m_batch += SseOf(m_lastId, event, data);
            ++m_batchEvents;
            if (!m_batchTimer.isActive())
                m_batchTimer.start(
                    std::min<std::chrono::milliseconds>(kBatchPerClient * events, kLongestBatch));
        } else {
            Flush();  // what was gathered goes before this one
        }
    }
    for (const auto& stream : m_streams) {
        if (stream->gone || stream->kind != feed ||
            (feed == Feed::kScale && stream->scale != scale) || (batched && !stream->websocket))
            continue;
        QByteArray& message = stream->websocket ? ws : sse;
        if (message.isEmpty())
            message =
                stream->websocket ? WsOf(m_lastId, event, data) : SseOf(m_lastId, event, data);
        stream->feed->Send(message);
    }
}

void HttpBridge::Flush() {
    m_batchTimer.stop();
    if (m_batch.isEmpty())
        return;
    const QByteArray batch = std::exchange(m_batch, {});
    const std::uint64_t events = std::exchange(m_batchEvents, 0);
    for (const auto& stream : m_streams) {
        if (stream->gone || stream->websocket || stream->kind != Feed::kReader)
            continue;
        const qsizetype from = std::exchange(stream->batchBytes, 0);
        const std::uint64_t before = std::exchange(stream->batchEvents, 0);
        if (from < batch.size())
            stream->feed->Send(from == 0 ? batch : batch.mid(from), events - before);
    }
}

void HttpBridge::Sweep() {
    if (std::exchange(m_sweepQueued, true))
        return;
    // Later: a stream may go while the list is being walked.
    QTimer::singleShot(0, this, [this] {
        m_sweepQueued = false;
        std::erase_if(m_streams, [](const auto& stream) { return stream->gone; });
    });
}

void HttpBridge::Heard(const BoardFeed::Heard& heard) {
    Tile& tile = m_tiles[heard.id];
    const Tile before = tile;
    if (heard.availability) {
        tile.availability = !heard.payload.empty();
        tile.online = heard.payload == "online";
    } else {
        const QByteArray payload = QByteArray::fromStdString(heard.payload);
        // A state that is no JSON object is not shown: the tile keeps the one before.
        if (payload.isEmpty() || QJsonDocument::fromJson(payload).isObject())
            tile.reading = payload;
    }
    ++m_lastId;
    if (tile.reading.isEmpty() && !tile.availability) {
        m_tiles.erase(heard.id);
        Broadcast("gone",
                  QJsonDocument(QJsonObject{{"id", QString::fromStdString(heard.id)}})
                      .toJson(QJsonDocument::Compact),
                  Feed::kBoard);
        return;
    }
    Broadcast("tile", TileData(heard.id, tile), Feed::kBoard);
    if (tile.online != before.online)
        Broadcast("state", ScaleState(heard.id, tile), Feed::kScale, heard.id);
    if (tile.reading != before.reading && !tile.reading.isEmpty())
        Broadcast("reading", tile.reading, Feed::kScale, heard.id);
}

QByteArray HttpBridge::TileData(const std::string& id, const Tile& tile) const {
    QJsonObject object{{"id", QString::fromStdString(id)}, {"online", tile.online}};
    object.insert("reading", tile.reading.isEmpty()
                                 ? QJsonValue()
                                 : QJsonValue(QJsonDocument::fromJson(tile.reading).object()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray HttpBridge::ScaleState(const std::string& id, const Tile& tile) const {
    return QJsonDocument(QJsonObject{{"state", tile.online ? "opened" : "offline"},
                                     {"port", QString::fromStdString(id)}})
        .toJson(QJsonDocument::Compact);
}

std::optional<std::uint8_t> HttpBridge::KeyOf(const QJsonObject& body, std::string* error) {
    const QJsonValue key = body.value("key");
    const QJsonValue twice = body.value("double");
    if (!key.isString() || !(twice.isUndefined() || twice.isBool())) {
        *error =
            "send {\"key\":\"DATA|MODE|TARE|ON/OFF\"} (and \"double\":true for a double click)";
        return std::nullopt;
    }
    const std::string name = key.toString().toStdString();
    const std::optional<std::uint8_t> byte =
        name.find_first_of(" \t\r\n") == std::string::npos
            ? scale::KeyByte(name + (twice.toBool() ? " double" : ""))
            : std::nullopt;
    if (!byte)
        *error = "no such key: DATA, MODE, TARE or ON/OFF";
    return byte;
}

void HttpBridge::TakeKey(const QHttpServerRequest& request, QTcpSocket* socket,
                         const QByteArray& cors) {
    const bool close = request.value("connection").toLower().contains("close");
    const std::string peer = PeerOf(*socket);
    if (!m_options.keys) {
        m_listener->Refused(peer, "a key, and keys are off (--http-keys)");
        RespondJson(socket, 403, ErrorBody("keys are off"), cors, close);
        return;
    }
    const QByteArray authorization = request.value("authorization");
    constexpr char kBearer[] = "Bearer ";
    if (!authorization.startsWith(kBearer) ||
        !SameToken(m_token, authorization.mid(sizeof kBearer - 1).toStdString())) {
        m_listener->Refused(
            peer, authorization.isEmpty() ? "a key without a token" : "a key with a wrong token");
        RespondJson(socket, 401, ErrorBody("a key needs Authorization: Bearer TOKEN"),
                    cors + "WWW-Authenticate: Bearer\r\n", close);
        return;
    }
    std::string error;
    const std::optional<std::uint8_t> key =
        KeyOf(QJsonDocument::fromJson(request.body()).object(), &error);
    if (!key) {
        RespondJson(socket, 400, ErrorBody(error), cors, close);
        return;
    }
    m_hooks.key(*key);
    RespondJson(socket, 202, "{\"sent\":true}", cors, close);
}

void HttpBridge::OnWebSocket() {
    while (m_server->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = m_server->nextPendingWebSocketConnection();
        const QUrl url = socket->requestUrl();
        const QByteArray host = url.authority().toUtf8();
        const std::string peer = socket->peerAddress().toString().toStdString() + ":" +
                                 std::to_string(socket->peerPort());
        if (url.path() != "/api/v1/ws" || !OriginAllowed(socket->origin().toUtf8(), host)) {
            if (m_listener)
                m_listener->Refused(peer, url.path() != "/api/v1/ws"
                                              ? "a WebSocket on another path"
                                              : "a WebSocket from an origin not named");
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
            socket.release()->deleteLater();
            continue;
        }
        socket->setMaxAllowedIncomingMessageSize(kLargestMessage);
        socket->setMaxAllowedIncomingFrameSize(kLargestMessage);
        auto stream = std::make_unique<Stream>();
        QWebSocket* ws = socket.get();
        stream->websocket = true;
        stream->peer = peer;
        stream->feed = std::make_unique<EventFeed>(EventFeed::Socket{
            [ws](const QByteArray& bytes) { ws->sendTextMessage(QString::fromUtf8(bytes)); },
            [ws] { return static_cast<std::int64_t>(ws->bytesToWrite()); },
            [](std::uint64_t missed) {
                return "{\"event\":\"missed\",\"missed\":" +
                       QByteArray::number(static_cast<qulonglong>(missed)) + "}";
            }});
        stream->socket = std::move(socket);
        Stream* raw = stream.get();
        raw->links.push_back(
            connect(ws, &QWebSocket::bytesWritten, this, [raw] { raw->feed->Drained(); }));
        raw->links.push_back(
            connect(ws, &QWebSocket::textMessageReceived, this,
                    [this, raw](const QString& message) { OnWebSocketMessage(raw, message); }));
        raw->links.push_back(connect(ws, &QWebSocket::disconnected, this, [this, raw] {
            raw->gone = true;
            Sweep();
        }));
        Add(std::move(stream));
    }
}

void HttpBridge::OnWebSocketMessage(Stream* stream, const QString& message) {
    const auto answer = [stream](const QByteArray& json) {
        stream->socket->sendTextMessage(QString::fromUtf8(json));
    };
    const QJsonObject object = QJsonDocument::fromJson(message.toUtf8()).object();
    if (!m_options.keys) {
        m_listener->Refused(stream->peer, "a key on a WebSocket, and keys are off (--http-keys)");
        answer("{\"event\":\"error\",\"error\":\"keys are off\"}");
        return;
    }
    if (!SameToken(m_token, object.value("token").toString().toStdString())) {
        m_listener->Refused(stream->peer, "a key on a WebSocket without the right token");
        answer("{\"event\":\"error\",\"error\":\"a key needs \\\"token\\\"\"}");
        return;
    }
    std::string error;
    const std::optional<std::uint8_t> key = KeyOf(object, &error);
    if (!key) {
        answer(
            QJsonDocument(QJsonObject{{"event", "error"}, {"error", QString::fromStdString(error)}})
                .toJson(QJsonDocument::Compact));
        return;
    }
    m_hooks.key(*key);
    answer("{\"event\":\"key\",\"sent\":true}");
}

}  // namespace web
