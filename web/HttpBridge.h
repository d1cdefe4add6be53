#pragma once

// karvel-read's readings on HTTP (Qt HttpServer and Qt WebSockets):
//   GET  /                the live page
//   GET  /api/v1/reading  the latest reading as a JSON object (503 with a reason before the
//                         first one and while the port is lost)
//   GET  /api/v1/events   Server-Sent Events: "reading", "state" and "missed"
//   GET  /api/v1/ws       a WebSocket with the same messages, taking keys when they are on
//   POST /api/v1/keys     {"key":"TARE","double":false}, with --http-keys and the bearer token
//   GET  /api/v1/records  with --record: one scale's weighings in the record, newest first,
//                         ?scale=ID&since=TIME&before=SEQ&limit=N; "next" is the next page's
//                         before, null on the last page
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
// The parts: RequestPolicy says whom to answer, Routes what each path answers, StreamHub keeps
// the event streams, KeyGate takes keys. This holds what is shown: the port, the newest reading
// and the board's tiles.
//
// Thread: the event loop's (the reader's main thread).

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/Result.h"
#include "web/BoardFeed.h"
#include "web/KeyGate.h"
#include "web/RequestPolicy.h"
#include "web/Routes.h"
#include "web/StreamHub.h"
#include "web/WebOptions.h"

class QTcpSocket;
class QHttpServerRequest;

namespace web {

class Listener;
class Server;

// What GET /api/v1/records asks for.
struct RecordsAsked {
    std::string scale;          // empty: the reader's own
    std::string since;          // a UTC time without its Z; empty: from the first
    std::uint64_t before = 0;   // only seqs below it; 0: up to the newest
    std::uint64_t limit = 100;  // 1 to kMostRecords
};
inline constexpr std::uint64_t kMostRecords = 1000;

class HttpBridge : public QObject {
  public:
    struct Hooks {
        std::function<void(const std::string& message)> say;
        std::function<void(std::uint8_t key)> key;  // a key to send to the scale
        // --record: the JSON object of one page of weighings; none: no such route.
        std::function<posix::Result<std::string>(const RecordsAsked& asked)> records{};
    };
    // `token`: the bearer token of --http-keys (empty when keys are off).
    HttpBridge(WebOptions options, std::string token, Hooks hooks);
    ~HttpBridge() override;

    // Listens.
    posix::Status Start();
    int Port() const;

    // A captured reading (record::JsonObject).
    void Reading(const std::string& json);
    // The port opened (again) or was lost.
    void PortOpened(const std::string& port, const std::string& device);
    void PortLost();
    // The board heard a scale's retained state or availability.
    void Heard(const BoardFeed::Heard& heard);

  private:
    friend class Server;
    using Feed = StreamHub::Feed;
    struct Tile {
        QByteArray reading;  // the retained state; empty when there is none
        bool online = false;
        bool availability = false;  // an availability is retained
    };

    // Answers `request`; false only for a WebSocket upgrade it refused (and answered).
    bool Handle(const QHttpServerRequest& request, QTcpSocket* socket);
    void AddReaderRoutes();
    void AddBoardRoutes();
    void SayServing();
    void Refused(const std::string& peer, const std::string& why);
    void Broadcast(const char* event, const QByteArray& data, Feed feed = Feed::kReader,
                   const std::string& scale = {});
    void OnWebSocket();

    // The routes' answers.
    void LatestReading(const Exchange& exchange) const;
    void Records(const Exchange& exchange) const;
    void WebSocketOrRefuse(Exchange& exchange) const;
    void TakeKey(const Exchange& exchange);
    void BoardTiles(const Exchange& exchange) const;
    void ScaleEvents(const Exchange& exchange);

    // What a new event-stream client is sent first.
    std::vector<StreamHub::Event> Greeting(Feed feed, const std::string& scale);
    // {"state":"opened","port":...,"device":...}; `state` in place of the port's own.
    QJsonObject StateObject(const char* state = nullptr) const;
    // {"id":...,"online":...,"reading":the state as it came, or null}
    QByteArray TileJson(const std::string& id, const Tile& tile) const;
    QJsonObject ScaleState(const std::string& id, const Tile& tile) const;

    const WebOptions m_options;
    const Hooks m_hooks;
    const RequestPolicy m_policy;
    const KeyGate m_keys;
    Routes m_routes;
    std::unique_ptr<Server> m_server;
    QPointer<Listener> m_listener;
    std::unique_ptr<StreamHub> m_hub;

    std::uint64_t m_lastId = 0;  // of the newest event, whichever stream it went to
    QByteArray m_latest;         // the newest reading's object; empty before the first
    enum class PortStage { kNone, kOpen, kLost } m_stage = PortStage::kNone;
    bool m_everOpened = false;
    QByteArray m_portName, m_device;
    std::map<std::string, Tile> m_tiles;  // the board's, by scale id
};

}  // namespace web
