#include "tests/serial/LinkTestSupport.h"

namespace link_test {

window::LResult RecordingOwner::HandleMessage(window::MessageId id, window::WParam w,
                                              window::LParam l) {
    messages.push_back({id, w, l});
    if (onMessage)
        onMessage(messages.back());
    return 0;
}

std::vector<std::uint8_t> RecordingOwner::Bytes() const {
    std::vector<std::uint8_t> bytes;
    for (const Message& m : messages) {
        if (m.id == PN_BYTE)
            bytes.push_back(static_cast<std::uint8_t>(m.w));
    }
    return bytes;
}

std::size_t RecordingOwner::Count(window::MessageId id) const {
    std::size_t n = 0;
    for (const Message& m : messages)
        n += m.id == id;
    return n;
}

FailureReporter BoxRecorder::Reporter() {
    return [this](const std::string& caption, const std::string& text) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_boxes.push_back({caption, text});
    };
}

std::vector<Box> BoxRecorder::Boxes() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_boxes;
}

serial_port::PseudoTerminal& PortDirectory::AddPort(unsigned n) {
    std::string error;
    auto pty = serial_port::PseudoTerminal::Create(&error);
    if (!pty)
        ADD_FAILURE() << error;
    auto [it, inserted] = m_peers.insert_or_assign(n, std::move(*pty));
    Map(n, it->second.DevicePath());
    return it->second;
}

bool PumpUntil(RecordingOwner& owner, const std::function<bool()>& done,
               std::chrono::milliseconds deadline) {
    return window::WaitWhilePumping(owner, done, deadline);
}

}  // namespace link_test
