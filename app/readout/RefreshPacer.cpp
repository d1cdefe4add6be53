#include "app/readout/RefreshPacer.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// Where no screen tells its rate.
constexpr qreal kCommonRefreshHz = 60;

}  // namespace

RefreshPacer::RefreshPacer(const QWidget& onScreen, std::function<void()> draw)
    : m_onScreen(onScreen), m_draw(std::move(draw)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Draw(); });
}

void RefreshPacer::Due() {
    if (m_timer.isActive())
        return;  // the waiting drawing shows the newest reading anyway
    const qint64 interval = IntervalMs();
    if (!m_drawn.isValid() || m_drawn.elapsed() >= interval) {
        Draw();
        return;
    }
    m_timer.start(static_cast<int>(interval - m_drawn.elapsed()));
}

void RefreshPacer::Draw() {
    m_drawn.start();
    m_draw();
}

qint64 RefreshPacer::IntervalMs() const {
    const QScreen* screen = m_onScreen.screen();
    const qreal hz =
        screen != nullptr && screen->refreshRate() > 1 ? screen->refreshRate() : kCommonRefreshHz;
    // Rounded down: a refresh is never skipped for want of a millisecond.
    return std::max<qint64>(1, static_cast<qint64>(std::floor(1000.0 / hz)));
}
