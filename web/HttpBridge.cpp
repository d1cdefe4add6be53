#include "web/HttpBridge.h"

#include <QAbstractHttpServer>
#include <QByteArrayList>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>

#include <cstdint>
#include <optional>
#include <utility>

#include "web/Connections.h"
#include "web/PageParts.h"

namespace web {
namespace {

QString ItemOf(const QUrlQuery& query, const char* name) {
    return query.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded);
}

// Query item `name` as a number from 1 to `most`, `absent` when it is not given; none when it is
// anything else.
std::optional<std::uint64_t> CountOf(const QUrlQuery& query, const char* name, std::uint64_t absent,
                                     std::uint64_t most) {
    if (!query.hasQueryItem(QString::fromLatin1(name)))
        return absent;
    bool ok = false;
    const std::uint64_t count = ItemOf(query, name).toULongLong(&ok);
    if (!ok || count == 0 || count > most)
        return std::nullopt;
    return count;
}

using Method = Routes::Method;
const QString kScales = "/api/v1/scales/";

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

HttpBridge::HttpBridge(WebOptions options, std::string token, Hooks hooks)
    : m_options(std::move(options)),
      m_hooks(std::move(hooks)),
      m_policy(m_options),
      m_keys(m_options.keys, std::move(token), m_hooks.key,
             [this](const std::string& peer, const std::string& why) { Refused(peer, why); }),
      m_hub(std::make_unique<StreamHub>(StreamHub::Hooks{
          [this](Feed feed, const std::string& scale) { return Greeting(feed, scale); },
          [this](const std::string& peer, const QString& message) {
              return m_keys.FromMessage(peer, message);
          }})) {
    if (m_options.Board())
        AddBoardRoutes();
    else
        AddReaderRoutes();
}

// The streams go before the server that may still hold their sockets.
HttpBridge::~HttpBridge() {
    m_hub.reset();
    m_server.reset();
}

void HttpBridge::AddReaderRoutes() {
    m_routes.Add(Method::Get, "/api/v1/reading", [this](Exchange& e) { LatestReading(e); })
        .Add(Method::Get, "/api/v1/events",
             [this](Exchange& e) { m_hub->OpenEvents(e.socket, e.cors, Feed::kReader); })
        .Add(Method::Get, "/api/v1/ws", [this](Exchange& e) { WebSocketOrRefuse(e); })
        .Add(Method::Post, "/api/v1/keys", [this](Exchange& e) { TakeKey(e); })
        .Add(Method::Get, "*", ServePart);
    if (m_hooks.records)
        m_routes.Add(Method::Get, "/api/v1/records", [this](Exchange& e) { Records(e); });
}

void HttpBridge::AddBoardRoutes() {
    m_routes.Add(Method::Get, "/api/v1/board", [this](Exchange& e) { BoardTiles(e); })
        .Add(Method::Get, "/api/v1/board/events",
             [this](Exchange& e) { m_hub->OpenEvents(e.socket, e.cors, Feed::kBoard); })
        .Add(Method::Get, kScales + "*", [this](Exchange& e) { ScaleEvents(e); })
        .Add(Method::Get, "/", [](Exchange& e) { ServePage(e, ":/web/board.html"); })
        .Add(Method::Get, "/scale/*", [](Exchange& e) { ServePage(e, ":/web/index.html"); })
        .Add(Method::Post, "/api/v1/keys", [this](Exchange& e) { TakeKey(e); })
        .Add(Method::Get, "/api/*", [](Exchange& e) { e.Error(404, "a board has no such path"); })
        .Add(Method::Get, "*", ServePart);
}

posix::Status HttpBridge::Start() {
    Limits limits;
    limits.clients = m_options.clients;
    m_server = std::make_unique<Server>(this);
    auto listener = std::make_unique<Listener>(limits, m_hooks.say);
    const QHostAddress address(QString::fromStdString(m_options.address));
    if (!listener->listen(address, static_cast<quint16>(m_options.port)))
        return posix::SystemError::Because("cannot listen on " + m_options.listen + ": " +
                                           listener->errorString().toStdString());
    listener->setParent(m_server.get());
    m_listener = listener.get();
    m_server->bind(listener.release());  // owned by the server
    m_hub->Start(m_listener);
    connect(m_server.get(), &QAbstractHttpServer::newWebSocketConnection, this,
            &HttpBridge::OnWebSocket);
    SayServing();
    return posix::Success();
}

void HttpBridge::SayServing() {
    const bool six = QHostAddress(QString::fromStdString(m_options.address)).protocol() ==
                     QAbstractSocket::IPv6Protocol;
    const std::string host = six ? "[" + m_options.address + "]" : m_options.address;
    m_hooks.say("http: serving http://" + host + ":" + std::to_string(Port()) + "/");
    if (!m_options.Loopback())
        m_hooks.say("http: listening on " + m_options.address +
                    ", not only this machine: other machines on that network can read the scale" +
                    (m_options.keys ? " and, with the token, send keys" : ""));
}

int HttpBridge::Port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

void HttpBridge::Refused(const std::string& peer, const std::string& why) {
    if (m_listener)
        m_listener->Refused(peer, why);
}

bool HttpBridge::Handle(const QHttpServerRequest& request, QTcpSocket* socket) {
    Exchange exchange(request, socket);
    Guard* guard = Guard::Of(socket);
    // A refused connection, or more asked on an event stream, gets no answer.
    if (guard && (guard->Refused() || guard->IsStreaming()))
        return !exchange.upgrade;
    if (guard)
        guard->Answered();
    const QByteArray origin = request.value("origin");
    if (const auto refusal = m_policy.Check(request.value("host"), origin)) {
        Refused(PeerOf(*socket), refusal->why);
        exchange.Error(refusal->status, refusal->error);
        return !exchange.upgrade;
    }
    exchange.cors = RequestPolicy::CorsOf(origin, exchange.path);
    if (exchange.Api() && request.method() == Method::Options)
        exchange.Json(204, {}, RequestPolicy::PreflightOf(m_routes.MethodsOf(exchange.path)));
    else
        m_routes.Dispatch(exchange);
    return !exchange.upgrade || exchange.upgradeTaken;
}

void HttpBridge::LatestReading(const Exchange& exchange) const {
    if (!m_latest.isEmpty() && m_stage == PortStage::kOpen) {
        exchange.Json(200, m_latest);
        return;
    }
    const bool lost = m_stage == PortStage::kLost;
    exchange.Json(503,
                  Compact(QJsonObject{{"error", lost ? "port lost" : "no reading yet"},
                                      {"state", lost ? "lost" : "waiting"}}),
                  "Retry-After: 1\r\n");
}

void HttpBridge::Records(const Exchange& exchange) const {
    const QUrlQuery query = exchange.request.query();
    RecordsAsked asked;
    asked.scale = ItemOf(query, "scale").toStdString();
    QString since = ItemOf(query, "since");
    // "2026-12-09", "2026-12-09T10:00", "2026-12-09T10:00:00.5Z": compared with the rows' times.
    static const QRegularExpression time(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2}(T[0-9:.]{2,12})?Z?$)"));
    if (!since.isEmpty() && !time.match(since).hasMatch())
        return exchange.Error(400, "since must be a UTC time such as 2026-12-09T10:00:00Z");
    if (since.endsWith(u'Z'))
        since.chop(1);
    asked.since = since.toStdString();
    const auto limit = CountOf(query, "limit", asked.limit, kMostRecords);
    if (!limit)
        return exchange.Error(400, "limit must be 1 to " + std::to_string(kMostRecords));
    const auto before = CountOf(query, "before", 0, UINT64_MAX);
    if (!before)
        return exchange.Error(400, "before must be a seq above 0");
    asked.limit = *limit;
    asked.before = *before;
    const posix::Result<std::string> page = m_hooks.records(asked);
    if (!page)
        return exchange.Error(503, "the record cannot be read: " + page.Error().Describe(),
                              "Retry-After: 1\r\n");
    exchange.Json(200, QByteArray::fromStdString(*page));
}

void HttpBridge::WebSocketOrRefuse(Exchange& exchange) const {
    if (!exchange.upgrade) {
        exchange.Error(426, "a WebSocket: ask with Upgrade: websocket", "Upgrade: websocket\r\n");
        return;
    }
    // Qt WebSockets answers the handshake (and times it out); OnWebSocket takes the socket.
    if (Guard* guard = Guard::Of(exchange.socket))
        guard->Streaming();
    exchange.upgradeTaken = true;
}

void HttpBridge::TakeKey(const Exchange& exchange) {
    const KeyGate::Answer answer = m_keys.FromRequest(
        PeerOf(*exchange.socket), exchange.request.value("authorization"), exchange.request.body());
    if (answer.status == 202)
        exchange.Json(202, Compact(QJsonObject{{"sent", true}}));
    else
        exchange.Error(answer.status, answer.error,
                       answer.status == 401 ? "WWW-Authenticate: Bearer\r\n" : "");
}

void HttpBridge::OnWebSocket() {
    while (m_server->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = m_server->nextPendingWebSocketConnection();
        const QUrl url = socket->requestUrl();
        const std::string peer = socket->peerAddress().toString().toStdString() + ":" +
                                 std::to_string(socket->peerPort());
        const bool path = url.path() == "/api/v1/ws";
        if (path && m_policy.OriginAllowed(socket->origin().toUtf8(), url.authority().toUtf8())) {
            m_hub->AddWebSocket(std::move(socket), peer);
            continue;
        }
        Refused(peer,
                path ? "a WebSocket from an origin not named" : "a WebSocket on another path");
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        socket.release()->deleteLater();
    }
}

void HttpBridge::Broadcast(const char* event, const QByteArray& data, Feed feed,
                           const std::string& scale) {
    m_hub->Broadcast({++m_lastId, event, data}, feed, scale);
}

void HttpBridge::Reading(const std::string& json) {
    m_latest = QByteArray::fromStdString(json);
    Broadcast("reading", m_latest);
}

void HttpBridge::PortOpened(const std::string& port, const std::string& device) {
    if (m_stage == PortStage::kOpen && m_portName == QByteArray::fromStdString(port))
        return;  // said already
    m_portName = QByteArray::fromStdString(port);
    m_device = QByteArray::fromStdString(device);
    const bool back = std::exchange(m_everOpened, true);
    m_stage = PortStage::kOpen;
    Broadcast("state", Compact(StateObject(back ? "back" : nullptr)));
}

void HttpBridge::PortLost() {
    if (m_stage != PortStage::kOpen)
        return;
    m_stage = PortStage::kLost;
    Broadcast("state", Compact(StateObject()));
}

QJsonObject HttpBridge::StateObject(const char* state) const {
    const char* stage = m_stage == PortStage::kOpen   ? "opened"
                        : m_stage == PortStage::kLost ? "lost"
                                                      : "none";
    return QJsonObject{{"state", state ? state : stage},
                       {"port", QString::fromUtf8(m_portName)},
                       {"device", QString::fromUtf8(m_device)}};
}

std::vector<StreamHub::Event> HttpBridge::Greeting(Feed feed, const std::string& scale) {
    // Each event has an id of its own, above every id sent before: a stream's ids only rise.
    std::vector<StreamHub::Event> events;
    if (feed == Feed::kBoard) {
        for (const auto& [id, tile] : m_tiles)
            events.push_back({++m_lastId, "tile", TileJson(id, tile)});
    } else if (feed == Feed::kScale) {
        if (const auto tile = m_tiles.find(scale); tile != m_tiles.end()) {
            events.push_back({++m_lastId, "state", Compact(ScaleState(tile->first, tile->second))});
            if (!tile->second.reading.isEmpty())
                events.push_back({++m_lastId, "reading", tile->second.reading});
        }
    } else {
        // Where things stand: the port, then the newest reading.
        if (m_stage != PortStage::kNone)
            events.push_back({++m_lastId, "state", Compact(StateObject())});
        if (!m_latest.isEmpty())
            events.push_back({++m_lastId, "reading", m_latest});
    }
    return events;
}

void HttpBridge::BoardTiles(const Exchange& exchange) const {
    QByteArrayList scales;
    for (const auto& [id, tile] : m_tiles)
        scales.append(TileJson(id, tile));
    exchange.Json(200, "{\"scales\":[" + scales.join(',') + "]}");
}

void HttpBridge::ScaleEvents(const Exchange& exchange) {
    const QString rest = exchange.path.mid(kScales.size());  // ID/events
    if (rest == "events" || rest == "/events")
        exchange.Error(400, "name the scale: /api/v1/scales/ID/events");
    else if (!rest.endsWith("/events"))
        exchange.Error(404, "a board has no such path");
    else
        m_hub->OpenEvents(exchange.socket, exchange.cors, Feed::kScale,
                          rest.chopped(7).toStdString());
}

void HttpBridge::Heard(const BoardFeed::Heard& heard) {
    Tile& tile = m_tiles[heard.id];
    const Tile before = tile;
    if (heard.availability) {
        tile.availability = !heard.payload.empty();
        tile.online = heard.payload == "online";
    } else {
        const QByteArray payload = QByteArray::fromStdString(heard.payload);
        // A state that is no JSON object is not shown: the tile keeps the one before. A line
        // break in an object is white space between its parts: a space keeps it one line of an
        // event stream.
        if (payload.isEmpty() || QJsonDocument::fromJson(payload).isObject())
            tile.reading = QByteArray(payload).replace('\n', ' ').replace('\r', ' ');
    }
    if (tile.reading.isEmpty() && !tile.availability) {
        m_tiles.erase(heard.id);
        Broadcast("gone", Compact(QJsonObject{{"id", QString::fromStdString(heard.id)}}),
                  Feed::kBoard);
        return;
    }
    Broadcast("tile", TileJson(heard.id, tile), Feed::kBoard);
    if (ScaleState(heard.id, tile) != ScaleState(heard.id, before))
        Broadcast("state", Compact(ScaleState(heard.id, tile)), Feed::kScale, heard.id);
    if (tile.reading != before.reading && !tile.reading.isEmpty())
        Broadcast("reading", tile.reading, Feed::kScale, heard.id);
}

// The state goes as it came: parsed and written again, a number would lose its figures (0.00
// would be 0).
QByteArray HttpBridge::TileJson(const std::string& id, const Tile& tile) const {
    QByteArray json =
        Compact(QJsonObject{{"id", QString::fromStdString(id)}, {"online", tile.online}});
    json.chop(1);  // the closing brace
    return json + ",\"reading\":" + (tile.reading.isEmpty() ? QByteArray("null") : tile.reading) +
           "}";
}

QJsonObject HttpBridge::ScaleState(const std::string& id, const Tile& tile) const {
    // An online reader says in its state when its port is lost.
    const bool lost = tile.online && !tile.reading.isEmpty() &&
                      QJsonDocument::fromJson(tile.reading).object().value("port_lost").toBool();
    return QJsonObject{{"state", !tile.online ? "offline"
                                 : lost       ? "lost"
                                              : "opened"},
                       {"port", QString::fromStdString(id)}};
}

}  // namespace web
