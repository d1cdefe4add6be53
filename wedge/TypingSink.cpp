#include "wedge/TypingSink.h"

#include <utility>

namespace wedge {

TypingSink::TypingSink(std::unique_ptr<Wedge> wedge, Say say, std::chrono::milliseconds atEnd,
                       Gate gate)
    : m_wedge(std::move(wedge)), m_say(std::move(say)), m_atEnd(atEnd), m_gate(std::move(gate)) {}

bool TypingSink::Take(const record::Captured& captured) {
    if (m_wedge && !m_portLost && (!m_gate || m_gate()))
        m_wedge->Offer(captured.Reading());
    return true;
}

void TypingSink::PortLost(bool lost) {
    m_portLost = lost;
    if (lost && m_wedge)
        m_wedge->DropPending();
}

int TypingSink::Finish(int code) {
    if (m_wedge && !m_wedge->WaitIdle(m_atEnd))
        m_say("not typed: readings still waiting at the end");
    m_wedge.reset();
    return code;
}

}  // namespace wedge
