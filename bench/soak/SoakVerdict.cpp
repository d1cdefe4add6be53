#include "bench/soak/SoakVerdict.h"

namespace soak {

namespace {

std::string Count(std::uint64_t n) {
    return std::to_string(n);
}

}  // namespace

std::uint64_t FramesDecoded(const SoakCounts& counts) {
    return counts.displayCalls >= counts.answersReceived
               ? counts.displayCalls - counts.answersReceived
               : 0;
}

std::vector<std::string> Shortfalls(const SoakCounts& c) {
    std::vector<std::string> reasons;
    if (!c.framesSent) {
        reasons.push_back("the simulator did not report how many frames it sent");
    } else {
        const std::uint64_t sent = *c.framesSent;
        if (sent != c.framesAsked)
            reasons.push_back("the simulator sent " + Count(sent) + " frames of " +
                              Count(c.framesAsked));
        if (c.framesReceived < sent)
            reasons.push_back(Count(sent - c.framesReceived) + " of " + Count(sent) +
                              " frames sent never reached the panel");
        else if (c.framesReceived > sent)
            reasons.push_back("the panel received " + Count(c.framesReceived - sent) +
                              " frames more than were sent");
    }
    if (c.strayBytes != 0)
        reasons.push_back(Count(c.strayBytes) + " received bytes belong to no whole frame");
    if (c.displayCalls < c.answersReceived) {
        reasons.push_back("fewer Display calls (" + Count(c.displayCalls) + ") than probe answers");
    } else if (FramesDecoded(c) != c.framesReceived) {
        reasons.push_back(Count(FramesDecoded(c)) + " frames decoded for " +
                          Count(c.framesReceived) + " received");
    }
    for (const std::string& box : c.boxesDuringStream)
        reasons.push_back("the panel reported: " + box);
    return reasons;
}

}  // namespace soak
