#pragma once

// The one way for other parts of a program to see what the panel receives: each complete frame,
// after the display has been told, and each change of the port the panel shows. Observers see
// copies; they cannot reach the serial engine or the frame window.
//
// Thread: the UI thread only. Observers are not owned: one must be detached before it is
// destroyed. An observer may detach itself (or another) while it is being told.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scale/Protocol.h"
#include "scale/Reading.h"

namespace scale {

struct Frame {
    FrameBytes bytes;  // the twelve bytes as received, header first
    Slots values;
    std::chrono::system_clock::time_point wallTime;  // when the display had been told
    std::chrono::steady_clock::time_point steadyTime;
    // A reading of a named or detected family (whose `values` are what the display shows of
    // it): the reading as decoded, the family's name and the bytes it came in. None for frames.
    std::optional<Reading> familyReading{};
    std::string protocol{};
    std::vector<std::uint8_t> familyBytes{};
};

// A frame completed just now, with the clocks read once for it.
Frame StampFrame(const FrameBytes& bytes);

struct PortState {
    enum class Change {
        kOpened,  // opened and watched: frames may follow (again after a switch to another port)
        kClosed,  // the user closed it, or chose a port that could not be opened
        kLost,    // its device went away
    };
    Change change = Change::kClosed;
    int port = 0;           // n of COMn
    std::string device;     // "/dev/ttyUSB0"; empty when not known
    std::string name = {};  // what the user calls the port (PortMap::NameOf); empty: COMn
};

class FrameObserver {
  public:
    virtual void OnFrame(const Frame& frame) = 0;
    virtual void OnPortState(const PortState& state) = 0;

  protected:
    ~FrameObserver() = default;
};

// The observers attached to one source, told in the order they were attached.
class FrameObservers {
  public:
    void Attach(FrameObserver* observer);
    void Detach(FrameObserver* observer);
    bool Empty() const { return m_observers.empty(); }

    void TellFrame(const Frame& frame);
    void TellPortState(const PortState& state);

  private:
    template <typename Call>
    void TellEach(Call call);

    std::vector<FrameObserver*> m_observers;
};

}  // namespace scale
