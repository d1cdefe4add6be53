#pragma once

// Draws a stream of readings faster than a screen can show them at most once per refresh of the
// screen, always the newest: the first reading after a quiet spell at once, a later one when the
// refresh interval since the last drawing has passed. Whoever tells readings keeps the newest;
// `draw` shows it.
//
// Thread: UI thread only.

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

class QWidget;

class RefreshPacer {
  public:
    // `onScreen` says which screen's refresh rate counts; it outlives the pacer.
    RefreshPacer(const QWidget& onScreen, std::function<void()> draw);

    // A newer reading is there to be drawn.
    void Due();
    // Whether a reading waits for the next refresh.
    bool Waiting() const { return m_timer.isActive(); }

  private:
    void Draw();
    qint64 IntervalMs() const;

    const QWidget& m_onScreen;
    std::function<void()> m_draw;
    QElapsedTimer m_drawn;  // since the last drawing; invalid before the first
    QTimer m_timer;
};
