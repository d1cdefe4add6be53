#include "scale/FrameObserver.h"

#include <algorithm>

namespace scale {

Frame StampFrame(const FrameBytes& bytes) {
    return {bytes, SlotsOf(bytes), std::chrono::system_clock::now(),
            std::chrono::steady_clock::now()};
}

void FrameObservers::Attach(FrameObserver* observer) {
    if (observer != nullptr && std::ranges::find(m_observers, observer) == m_observers.end())
        m_observers.push_back(observer);
}

void FrameObservers::Detach(FrameObserver* observer) {
    std::erase(m_observers, observer);
}

template <typename Call>
void FrameObservers::TellEach(Call call) {
    // A copy, so that one detached while being told is not skipped over nor told after.
    const std::vector<FrameObserver*> now = m_observers;
    for (FrameObserver* observer : now) {
        if (std::ranges::find(m_observers, observer) != m_observers.end())
            call(*observer);
    }
}

void FrameObservers::TellFrame(const Frame& frame) {
    TellEach([&frame](FrameObserver& observer) { observer.OnFrame(frame); });
}

void FrameObservers::TellPortState(const PortState& state) {
    TellEach([&state](FrameObserver& observer) { observer.OnPortState(state); });
}

}  // namespace scale
