#pragma once

// The bridge's event-stream clients, Server-Sent Events and WebSockets alike: each event goes to
// every client of its feed, in the client's own framing, through its EventFeed. An SSE client is
// taken from Qt once its answer has begun (EventSockets). Beyond a few SSE clients of the reader,
// each event is no longer written to each of them at once: the events of a period go to each in
// one write.
//
// Thread: the event loop's.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTcpSocket;
class QWebSocket;

namespace web {

class EventSockets;
class Listener;

class StreamHub : public QObject {
  public:
    // The reader's own readings and port; the board's tiles; one scale of the board's.
    enum class Feed { kReader, kBoard, kScale };
    struct Event {
        std::uint64_t id;  // rises across a stream's events; 0: none (a "missed" notice)
        const char* name;
        QByteArray data;  // a JSON object
    };
    struct Hooks {
        // What a new client of a feed is sent first: where things stand.
        std::function<std::vector<Event>(Feed feed, const std::string& scale)> greeting;
        // A WebSocket client's message; the message that answers it.
        std::function<QByteArray(const std::string& peer, const QString& message)> message;
    };
    explicit StreamHub(Hooks hooks);
    ~StreamHub() override;

    // Event streams are counted among `listener`'s connections once taken from Qt.
    void Start(Listener* listener);
    // Answers `socket`'s request with an event stream.
    void OpenEvents(QTcpSocket* socket, const QByteArray& cors, Feed feed,
                    const std::string& scale = {});
    void AddWebSocket(std::unique_ptr<QWebSocket> socket, const std::string& peer);
    void Broadcast(const Event& event, Feed feed = Feed::kReader, const std::string& scale = {});

  private:
    struct Stream;
    void Add(std::unique_ptr<Stream> stream);
    // Takes an event stream's connection from Qt, if it is still there.
    void TakeOver(Stream* stream);
    // Whether the reader's SSE events now wait in the batch (and this one joined it).
    bool Batch(const Event& event);
    // Writes the gathered events to the reader's event-stream clients.
    void Flush();
    void Gone(Stream* stream);
    void Sweep();

    const Hooks m_hooks;
    QPointer<Listener> m_listener;
    std::unique_ptr<EventSockets> m_eventSockets;  // before the streams, which close in it
    std::vector<std::unique_ptr<Stream>> m_streams;
    bool m_sweepQueued = false;
    QTimer m_keepAlive;
    // The reader's Server-Sent Events not yet written while many clients share writes.
    QByteArray m_batch;
    std::uint64_t m_batchEvents = 0;
    QTimer m_batchTimer;
};

}  // namespace web
