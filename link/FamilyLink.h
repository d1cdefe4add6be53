#pragma once

// A program's link to a scale of any family (with --protocol), as a Source: a named family on
// the chosen port or the first port where it is heard, or (auto) whatever family a port speaks.
// Detection looks at every port at once (link/PortDetection.h): the 0x05 probe as for the panel's
// own scale; listening, without sending anything, at 9600, 2400, 4800, 1200 and 19200 baud until
// two lines agree on one family; for a port silent at the first speed, each family's
// non-destructive query at its usual settings. Never a tare, zero or key command while detecting.
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
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/PortDetection.h"
#include "link/PortSource.h"
#include "platform/serial/PortMap.h"
#include "scale/FrameObserver.h"
#include "scale/families/Family.h"

namespace scale_link {

class FamilyLink : public PortSource {
  public:
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
    // (null: a watcher of its own). `program` is the name the user starts the program by (for
    // advice that names it).
    FamilyLink(serial_port::PortMap& ports, SourceEvents events, Choice choice, Waits waits,
               PortWatcher* watcher, std::string program);
    FamilyLink(serial_port::PortMap& ports, SourceEvents events, Choice choice,
               PortWatcher* watcher, std::string program)
        : FamilyLink(ports, std::move(events), std::move(choice), Waits{}, watcher,
                     std::move(program)) {}
    ~FamilyLink() override;

    // Says what was found, and per port why nothing was.
    posix::Result<int> Find(unsigned only) override;
    // As Find, without holding the thread: `found` is called on it, from its event loop, with the
    // outcome, unless the link goes first (which stops detection at once) or looks again.
    void FindLater(unsigned only, std::function<void(posix::Result<int>)> found) override;
    // A family is found before it is read: the same as Find.
    posix::Result<int> Open(unsigned only) override { return Find(only); }
    // Said on the way already.
    std::vector<std::string> Unopened() const override { return {}; }

    // Any family's key names, in any case; a family that lacks the key says so when it is sent.
    std::optional<KeyPress> KeyNamed(std::string_view line) const override;
    std::string KeyNames() const override;
    // Sends the family's command for the key; false (and said) when the family has none, false
    // while the device is away. A family's keys have no second function: twice is once.
    bool SendKey(KeyPress key) override;

    const scale::families::Family* FamilyFound() const { return m_family; }
    const scale::LineSettings& Line() const { return m_line; }

  private:
    using Family = scale::families::Family;
    DetectPlan Plan() const;
    // Looks at `only`, or at every port when 0; `decided` as ParallelDetection's.
    void StartDetection(unsigned only, std::function<void()> decided);
    // Says what detection found on each port, in port order, and keeps the scale found.
    posix::Result<int> Decide(unsigned only);
    void SayVerdict(int port, const PortVerdict& verdict);
    bool Open(const std::string& device, const scale::LineSettings& line);
    // `poll`: the scale answers only when asked.
    // `wire`: the connection detection found it on, read on; none: `device` is opened again.
    bool Keep(const std::string& device, const Family& family, const scale::LineSettings& line,
              std::vector<scale::families::Decoded> first, bool poll,
              std::shared_ptr<Wire> wire = nullptr);
    void OnBytes(std::span<const std::uint8_t> bytes) override;
    posix::Status Reopen(int port) override;
    scale::LineSettings ReopenLine() const override { return m_line; }
    void Reopened() override;
    void Halted() override { m_poll.stop(); }
    bool SendText(const std::string& bytes);
    // `read` holds the clocks read when its last bytes came.
    void Tell(const scale::families::Decoded& decoded, const scale::Frame& read);

    Choice m_choice;
    Waits m_waits;
    std::unique_ptr<ParallelDetection> m_detection;       // while detecting
    std::uint64_t m_detections = 0;                       // started so far
    std::unique_ptr<scale::families::Decoder> m_decoder;  // once kept
    const Family* m_family = nullptr;
    scale::LineSettings m_line = scale::kLine;
    scale::LineSettings m_openLine = scale::kLine;
    int m_trying = 0;
    bool m_framingRefused = false;  // the device took the speed but not the framing
    std::string m_openFailure;
    serial_port::PortError m_openError;
    std::string m_program;
    bool m_polling = false;  // the kept family is asked for each reading
    QTimer m_poll;
    std::vector<scale::families::Decoded> m_scratch;
};

}  // namespace scale_link
