#pragma once

// A program's link to a scale of any family (the reader's, with --protocol): a named family on
// the chosen port or the first port where it is heard, or (auto) whatever family a port speaks.
// Detection on each port: the 0x05 probe as for the panel's own scale; then listening, without
// sending anything, at 9600, 4800, 2400, 1200 and 19200 baud until two lines agree on one
// family; only for a port that stayed silent, each family's non-destructive query at its usual
// settings. Never a tare, zero or key command while detecting.
//
// A family that sends only when asked is asked again with its query while the link reads.
//
// When the device goes away the link follows it (DeviceFollower) and opens it again when it is
// back, at the line settings it was read at, with nothing sent but what reading sends anyway.
//
// Thread: the thread that made it (with a QCoreApplication); events are called there too.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/DeviceFollower.h"
#include "link/DirectPort.h"
#include "link/PortWatcher.h"
#include "platform/serial/PortMap.h"
#include "scale/FrameObserver.h"
#include "scale/families/Family.h"

namespace scale_link {

class FamilyLink : public QObject {
  public:
    struct Events {
        std::function<void(const scale::families::Decoded&)> reading;
        std::function<void(const std::string&)> say;
        // The device went away (kLost; said already), or is open again (kOpened).
        std::function<void(const scale::PortState&)> portState;
    };
    struct Choice {
        const scale::families::Family* family = nullptr;  // null: auto
        std::string pattern;                              // of the pattern family
        std::optional<scale::LineSettings> line;          // null: the family's usual settings
    };
    // How long detection listens and waits (shorter in tests of the bound).
    struct Waits {
        std::chrono::milliseconds listen{800};  // per speed
        std::chrono::milliseconds answer{400};  // per query
        std::chrono::milliseconds poll{250};    // between queries while reading
    };

    // `ports` outlives the link, and so does `watcher`, whose changes of the ports it follows
    // (null: a watcher of its own).
    FamilyLink(serial_port::PortMap& ports, Events events, Choice choice, Waits waits,
               PortWatcher* watcher);
    FamilyLink(serial_port::PortMap& ports, Events events, Choice choice,
               PortWatcher* watcher = nullptr)
        : FamilyLink(ports, std::move(events), std::move(choice), Waits{}, watcher) {}
    ~FamilyLink() override;

    // Looks at `onlyPort` (a number from PortMap::Choose), or COM1..COM32 when 0; the port kept
    // open and read, else 0. Says what was found, and per port why nothing was.
    int Find(unsigned onlyPort);
    // Sends the family's command for `key`; false (and said) when the family has none, false
    // while the device is away.
    bool SendKey(scale::families::Key key);

    int Port() const { return m_port; }
    const std::string& Device() const { return m_link.DevicePath(); }
    const scale::families::Family* FamilyFound() const { return m_family; }
    const scale::LineSettings& Line() const { return m_line; }

  private:
    using Family = scale::families::Family;
    bool Detect(int port);
    bool Open(const std::string& device, const scale::LineSettings& line);
    // Reads for `limit` or until `done` says so.
    void ReadFor(std::chrono::milliseconds limit, const std::function<bool()>& done);
    bool Probe(const std::string& device);
    bool Listen(const std::string& device, std::span<const Family* const> candidates,
                std::span<const scale::LineSettings> lines, std::string* heard);
    bool Ask(const std::string& device, std::span<const Family* const> candidates,
             std::string* asked);
    // `poll`: the scale answers only when asked.
    bool Keep(const Family& family, const scale::LineSettings& line,
              std::vector<scale::families::Decoded> first, bool poll);
    void OnBytes(std::span<const std::uint8_t> bytes);
    bool SendText(const std::string& bytes);
    void OnDeviceLost(const std::string& why);
    void OnPortsChanged();
    void TryReconnect();
    void TellState(scale::PortState::Change change);

    serial_port::PortMap& m_ports;
    Events m_events;
    Choice m_choice;
    Waits m_waits;
    DirectPort m_link;
    std::function<void(std::span<const std::uint8_t>)> m_hear;  // while detecting
    std::unique_ptr<scale::families::Decoder> m_decoder;        // once kept
    const Family* m_family = nullptr;
    scale::LineSettings m_line = scale::kLine;
    scale::LineSettings m_openLine = scale::kLine;
    int m_port = 0;
    int m_trying = 0;
    bool m_framingRefused = false;  // the device took the speed but not the framing
    std::string m_openFailure;
    bool m_polling = false;  // the kept family is asked for each reading
    QTimer m_poll;
    std::unique_ptr<PortWatcher> m_ownWatcher;
    DeviceFollower m_follower;
    std::vector<scale::families::Decoded> m_scratch;
};

}  // namespace scale_link
