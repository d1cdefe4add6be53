#include "web/BoardApp.h"

#include <QMetaObject>
#include <QPointer>

#include <utility>

namespace web {

BoardApp::BoardApp(WebOptions options, std::function<void(const std::string&)> say)
    : m_options(std::move(options)), m_say(std::move(say)) {}

// The feed goes first: nothing it hears can arrive once its thread has stopped.
BoardApp::~BoardApp() {
    m_feed.reset();
}

posix::Status BoardApp::Start() {
    HttpBridge::Hooks hooks;
    hooks.say = m_say;
    hooks.key = [](std::uint8_t) {};
    m_bridge = std::make_unique<HttpBridge>(m_options, std::string(), std::move(hooks));
    if (posix::Status started = m_bridge->Start(); !started)
        return started;
    HttpBridge* bridge = m_bridge.get();
    m_feed = std::make_unique<BoardFeed>(
        m_options.boardBroker,
        [this, bridge](BoardFeed::Heard heard) {
            // From the client's thread to the bridge's.
            m_heard.Post([bridge, heard = std::move(heard)] { bridge->Heard(heard); });
        },
        m_say);
    return m_feed->Start();
}

}  // namespace web
