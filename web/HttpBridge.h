#pragma once

// karvel-read's readings on HTTP (Qt HttpServer and Qt WebSockets):
//   GET  /                the live page
//   GET  /api/v1/reading  the latest reading as a JSON object (503 with a reason before the
//                         first one and while the port is lost)
//   GET  /api/v1/events   Server-Sent Events: "reading", "state" and "missed"
//   GET  /api/v1/ws       a WebSocket with the same messages, taking keys when they are on
//   POST /api/v1/keys     {"key":"TARE","double":false}, with --http-keys and the bearer token
// Pages of other origins are answered only when named (--http-origin); on the loopback address
// only loopback host names are answered, so a name that resolves there cannot reach in.
//
// As a board (--board) it serves no scale of its own but every scale the broker knows:
//   GET  /                          the board: a tile per scale
//   GET  /api/v1/board              the tiles as JSON
//   GET  /api/v1/board/events       "tile" and "gone" events
//   GET  /scale/ID                  that scale's live page
//   GET  /api/v1/scales/ID/events   its "reading" and "state" events
//
// Thread: the event loop's (the reader's main thread).

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "web/BoardFeed.h"
#include "web/WebOptions.h"

class QJsonObject;
class QTcpSocket;
class QHttpServerRequest;

namespace web {

class EventFeed;
class EventSockets;
class Listener;
class Server;

class HttpBridge : public QObject {
  public:
    struct Hooks {
        std::function<void(const std::string& message)> say;
        std::function<void(std::uint8_t key)> key;  // a key to send to the scale
    };
    // `token`: the bearer token of --http-keys (empty when keys are off).
    HttpBridge(WebOptions options, std::string token, Hooks hooks);
    ~HttpBridge() override;

    // Listens; false, with `error` set, when it cannot.
    bool Start(std::string* error);
    int Port() const;

    // A captured reading (record::JsonObject).
    void Reading(const std::string& json);
    // The port opened (again) or was lost.
    void PortOpened(const std::string& port, const std::string& device);
    void PortLost();
    // The board heard a scale's retained state or availability.
    void Heard(const BoardFeed::Heard& heard);

  private:
    struct Stream;
    friend class Server;
    enum class Feed { kReader, kBoard, kScale };
    struct Tile {
        QByteArray reading;  // the retained state; empty when there is none
        bool online = false;
        bool availability = false;  // an availability is retained
    };

    // Answers `request`; false only for a WebSocket upgrade it refused (and answered).
    bool Handle(const QHttpServerRequest& request, QTcpSocket* socket);
    void OpenEvents(QTcpSocket* socket, const QByteArray& cors, Feed feed,
                    const std::string& scale = {});
    // The page, or a part of it; 404 for anything else.
    void ServePart(QTcpSocket* socket, const QString& path, bool close);
    QByteArray TileData(const std::string& id, const Tile& tile) const;
    QByteArray ScaleState(const std::string& id, const Tile& tile) const;
    void TakeKey(const QHttpServerRequest& request, QTcpSocket* socket, const QByteArray& cors);
    void OnWebSocket();
    void OnWebSocketMessage(Stream* stream, const QString& message);
    // The key of {"key":..., "double":...}; nullopt, with the reason in `error`, when none.
    static std::optional<std::uint8_t> KeyOf(const QJsonObject& body, std::string* error);
    void Broadcast(const char* event, const QByteArray& data, Feed feed = Feed::kReader,
                   const std::string& scale = {});
    void Add(std::unique_ptr<Stream> stream);
    // Takes an event stream's connection from Qt, if it is still there.
    void TakeOver(Stream* stream);
    // Writes the gathered events to the reader's event-stream clients.
    void Flush();
    void Sweep();
    QByteArray StateData() const;
    // Whether a page of `origin` may be answered; an absent origin is no page's.
    bool OriginAllowed(const QByteArray& origin, const QByteArray& host) const;

    const WebOptions m_options;
    const std::string m_token;
    const Hooks m_hooks;
    std::unique_ptr<Server> m_server;
    QPointer<Listener> m_listener;
    std::unique_ptr<EventSockets> m_eventSockets;  // before the streams, which close in it
    std::vector<std::unique_ptr<Stream>> m_streams;
    bool m_sweepQueued = false;
    // The reader's Server-Sent Events not yet written while many clients share writes.
    QByteArray m_batch;
    std::uint64_t m_batchEvents = 0;
    QTimer m_batchTimer;

    std::uint64_t m_lastId = 0;
    QByteArray m_latest;  // the newest reading's object; empty before the first
    std::uint64_t m_latestId = 0;
    enum class PortStage { kNone, kOpen, kLost } m_stage = PortStage::kNone;
    bool m_everOpened = false;
    QByteArray m_portName, m_device;
    std::map<std::string, Tile> m_tiles;  // the board's, by scale id
};

}  // namespace web
