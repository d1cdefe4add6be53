#pragma once

// Readings typed into the focused window; what came from a port that went away is not typed.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "record/Sink.h"
#include "wedge/Wedge.h"

namespace wedge {

class TypingSink : public record::ReadingSink {
  public:
    using Say = std::function<void(const std::string&)>;
    // `atEnd`: how long Finish waits for readings still being typed.
    TypingSink(std::unique_ptr<Wedge> wedge, Say say, std::chrono::milliseconds atEnd);
    bool Take(const record::Captured& captured) override;
    void PortLost(bool lost) override;
    int Finish(int code) override;

  private:
    std::unique_ptr<Wedge> m_wedge;
    Say m_say;
    std::chrono::milliseconds m_atEnd;
    bool m_portLost = false;
};

}  // namespace wedge
