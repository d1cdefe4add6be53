#pragma once

// A port directory of pseudo-terminals, an owner that records what it is sent, and a reporter
// that records failure boxes, for tests of CSerialLink.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial/PseudoTerminal.h"
#include "platform/window/Messages.h"
#include "serial/CSerialLink.h"
#include "tests/support/Application.h"
#include "tools/peers/PortDirectory.h"

namespace link_test {

using namespace std::chrono_literals;
inline constexpr auto kDeadline = 20s;

using testing_support::App;

struct Message {
    window::MessageId id;
    window::WParam w;
    window::LParam l;
};

class RecordingOwner : public window::MessageOwner {
  public:
    window::LResult HandleMessage(window::MessageId id, window::WParam w,
                                  window::LParam l) override;
    std::vector<Message> messages;
    std::function<void(const Message&)> onMessage;

    std::vector<std::uint8_t> Bytes() const;
    std::size_t Count(window::MessageId id) const;
};

struct Box {
    std::string caption;
    std::string text;
};

// Collects failure boxes from any thread.
class BoxRecorder {
  public:
    FailureReporter Reporter();
    std::vector<Box> Boxes() const;

  private:
    mutable std::mutex m_lock;
    std::vector<Box> m_boxes;
};

// A port folder whose COMn links lead to pseudo-terminals of its own.
class PortDirectory : public testing_support::PortDirectory {
  public:
    // Creates a pseudo-terminal and links COMn to it; returns its far end.
    serial_port::PseudoTerminal& AddPort(unsigned n);
    // Hands the folder's ports to `link`.
    void Serve(CSerialLink& link) const { link.SetPortResolver(Resolver()); }

  private:
    std::map<unsigned, serial_port::PseudoTerminal> m_peers;
};

// Handles the owner's messages until `done` or the deadline.
bool PumpUntil(RecordingOwner& owner, const std::function<bool()>& done,
               std::chrono::milliseconds deadline = kDeadline);

}  // namespace link_test
