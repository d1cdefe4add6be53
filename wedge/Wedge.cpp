#include "wedge/Wedge.h"

#include <utility>

#include "wedge/PortalSink.h"
#include "wedge/UinputSink.h"
#include "wedge/X11Sink.h"

namespace wedge {

std::unique_ptr<KeySink> OpenSink(Via via, const Session& session, std::string* error) {
    switch (via) {
        case Via::kX11:
            return X11Sink::Open(session.display, error);
        case Via::kUinput:
            return UinputSink::Open(kUinputPath, error);
        case Via::kPortal:
            if (auto bus = SessionPortalBus(error))
                return PortalSink::Open(std::move(bus), error);
            return nullptr;
        case Via::kAuto:
            break;
    }
    *error = "no back-end chosen";
    return nullptr;
}

Wedge::Wedge(const TypeOptions& options, std::unique_ptr<KeySink> sink, Say say)
    : m_decimal(options.decimal), m_say(say), m_typist(std::move(sink), std::move(say)) {
    std::string error;
    m_format = ParseFormat(options.format, &error).value_or(std::vector<Piece>{});
}

std::unique_ptr<Wedge> Wedge::Start(const TypeOptions& options, const Session& session, Say say,
                                    std::string* error) {
    std::string why;
    auto sink = OpenSink(Choose(options.via, session), session, &why);
    if (!sink) {
        *error = "cannot type: " + why;
        return nullptr;
    }
    return std::make_unique<Wedge>(options, std::move(sink), std::move(say));
}

Wedge::Outcome Wedge::Offer(const record::CapturedReading& reading) {
    Composed composed = Compose(m_format, reading, m_decimal);
    if (composed.refusal == Refusal::kNoNumber) {
        if (!std::exchange(m_toldNoNumber, true))
            m_say("not typed: readings without a number ('" + reading.reading.text +
                  "', over load and the like) are skipped");
        return Outcome::kNoNumber;
    }
    if (composed.refusal == Refusal::kControlCharacter) {
        m_say("not typed: the reading holds a control character");
        return Outcome::kRefused;
    }
    if (!m_typist.Submit(std::move(composed.strokes))) {
        if (!std::exchange(m_toldBacklog, true))
            m_say("not typed: readings come faster than they can be typed");
        return Outcome::kBacklog;
    }
    m_toldBacklog = false;
    return Outcome::kQueued;
}

}  // namespace wedge
