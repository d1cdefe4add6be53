#pragma once

// Runs the UI thread's event loop until `done()` holds, waking for each event; false when
// `deadline` passed first.

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>

namespace testing_support {

inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool expired = false;
    QObject::connect(&timer, &QTimer::timeout, [&] { expired = true; });
    timer.start(deadline);
    while (!done()) {
        if (expired)
            return done();
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace testing_support
