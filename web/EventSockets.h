#pragma once

// The connections of Server-Sent Events clients once their answer has begun, taken over from
// Qt: one epoll set behind one notifier. Qt's event loop polls every socket it watches at each
// wake-up, and the reader wakes at every frame: a hundred clients in Qt's hands make each
// wake-up a hundred descriptors dearer, here they are one. A write goes straight to the kernel;
// what the kernel does not take waits here and leaves in order once the socket takes more.
// Whatever a client sends is read and dropped: an event stream has nothing more to ask.
//
// Thread: the event loop's. Hooks run from the event loop, never inside Write or Close.

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

#include "platform/posix/UniqueFd.h"

class QSocketNotifier;
class QTcpSocket;

namespace web {

class EventSockets : public QObject {
  public:
    struct Hooks {
        std::function<void()> drained;  // what waited has left
        std::function<void()> gone;     // the client closed or failed; its handle is closed
    };
    EventSockets();
    ~EventSockets() override;

    // A copy of `socket`'s descriptor joins the set; the caller then closes Qt's (abort), which
    // leaves the connection open through the copy. The handle, or -1 when it cannot (nothing
    // changed). REQUIRES: nothing waits in the socket's own buffer.
    int Adopt(QTcpSocket* socket, Hooks hooks);
    void Write(int handle, const QByteArray& bytes);
    // Bytes handed over and not yet taken by the kernel.
    std::int64_t Unsent(int handle) const;
    // Closes the connection; no hook runs.
    void Close(int handle);

  private:
    struct Client {
        posix::UniqueFd fd;
        QByteArray unsent;
        Hooks hooks;
    };
    void OnReady();
    // False when the client closed or the connection failed.
    bool Discard(int fd);
    bool Watch(int fd, bool writable);

    posix::UniqueFd m_epoll;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unordered_map<int, Client> m_clients;  // by handle: the descriptor
};

}  // namespace web
