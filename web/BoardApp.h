#pragma once

// karvel-read --board: one page for every scale under a broker's prefix, fed by their retained
// state and availability. Opens no port.
//
// Thread: the main thread, inside a QCoreApplication.

#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "platform/posix/Result.h"
#include "platform/window/Inbox.h"
#include "web/BoardFeed.h"
#include "web/HttpBridge.h"
#include "web/WebOptions.h"

namespace web {

class BoardApp : public QObject {
  public:
    BoardApp(WebOptions options, std::function<void(const std::string&)> say);
    ~BoardApp() override;

    // Listens and starts following the broker.
    posix::Status Start();

  private:
    const WebOptions m_options;
    const std::function<void(const std::string&)> m_say;
    std::unique_ptr<HttpBridge> m_bridge;
    window::Inbox m_heard;  // from the client's thread; outlives the feed
    std::unique_ptr<BoardFeed> m_feed;
};

}  // namespace web
