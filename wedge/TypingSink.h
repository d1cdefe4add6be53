#pragma once

// Readings typed into the focused window; what came from a port that went away is not typed, nor
// what the gate holds back. The back-end may be changed while readings come (typing turned on or
// off from a menu).

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "record/Sink.h"
#include "wedge/Wedge.h"

namespace wedge {

class TypingSink : public record::ReadingSink {
  public:
    using Say = std::function<void(const std::string&)>;
    // Asked before each reading would be typed: false holds it back (the gate says why itself).
    using Gate = std::function<bool()>;
    // `atEnd`: how long Finish waits for readings still being typed. `wedge` null: nothing is
    // typed until SetWedge.
    TypingSink(std::unique_ptr<Wedge> wedge, Say say, std::chrono::milliseconds atEnd,
               Gate gate = {});
    // Types with `wedge` from the next reading on; null: stops typing.
    void SetWedge(std::unique_ptr<Wedge> wedge) { m_wedge = std::move(wedge); }
    bool Typing() const { return m_wedge != nullptr; }
    bool Take(const record::Captured& captured) override;
    void PortLost(bool lost) override;
    int Finish(int code) override;

  private:
    std::unique_ptr<Wedge> m_wedge;
    Say m_say;
    std::chrono::milliseconds m_atEnd;
    Gate m_gate;
    bool m_portLost = false;
};

}  // namespace wedge
