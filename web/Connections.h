#pragma once

// The listening socket and what each connection may do before it is closed: how many are served
// at once, how large a request's header and body may be, how long a connection may sit idle and
// how long a request may take to arrive (a slow sender holds nothing for long). Requests are
// parsed by Qt HttpServer; this only counts bytes and watches time.
//
// Thread: the thread that owns the event loop (the reader's main thread).

#include <QPointer>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class QTcpSocket;

namespace web {

struct Limits {
    std::size_t clients = 1000;
    std::size_t headerBytes = 8 * 1024;
    std::size_t bodyBytes = 4 * 1024;
    std::chrono::milliseconds idle{30000};     // between requests
    std::chrono::milliseconds request{10000};  // from a request's first byte to its end
};

class Listener : public QTcpServer {
  public:
    using Say = std::function<void(const std::string&)>;
    Listener(Limits limits, Say say);

    std::size_t Open() const { return *m_open; }
    // One more connection counted for as long as the returned value lives: a connection that
    // has left Qt's hands (and its guard) is still one of the clients.
    std::shared_ptr<void> Count();
    const Limits& Bounds() const { return m_limits; }
    // Says why `peer` was refused; a flood is summed up, at most one line a second.
    void Refused(const std::string& peer, const std::string& why);

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    const Limits m_limits;
    const Say m_say;
    // Shared with the guards, which may outlive the listener while Qt tears the tree down.
    std::shared_ptr<std::size_t> m_open = std::make_shared<std::size_t>(0);
    std::chrono::steady_clock::time_point m_lastSaid{};
    std::size_t m_unsaid = 0;
    QTimer m_summary;  // says the refusals held back, a second after the last one said
};

// Watches one connection; a child of its socket, so it goes with it.
class Guard : public QObject {
    Q_OBJECT  // found among the socket's children by its type

        public : Guard(QTcpSocket* socket, Listener* listener, std::shared_ptr<std::size_t> open);
    ~Guard() override;

    static Guard* Of(const QObject* socket);
    // A whole request arrived and is answered: the connection is idle again.
    void Answered();
    // The connection carries an event stream from now on: no more time-outs.
    void Streaming();
    // The connection was refused: what still arrives on it is not answered.
    bool Refused() const { return m_refused; }
    bool IsStreaming() const { return m_stage == Stage::kStreaming; }

  private:
    void OnBytes();
    void Refuse(int status, const char* reason, const std::string& why);

    QTcpSocket* const m_socket;
    const QPointer<Listener> m_listener;
    const std::shared_ptr<std::size_t> m_open;
    QTimer m_timer;
    enum class Stage { kIdle, kRequest, kStreaming } m_stage = Stage::kIdle;
    std::size_t m_header = 0;  // bytes of the request's header so far
    std::size_t m_body = 0;    // bytes after its header
    bool m_headerDone = false;
    std::string m_tail;  // the last bytes of the header, for an end split between reads
    bool m_refused = false;
};

// "127.0.0.1:5000" of a socket's peer.
std::string PeerOf(const QTcpSocket& socket);

}  // namespace web
