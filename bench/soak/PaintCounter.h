#pragma once

// Counts the paints a widget receives: how often the display was actually redrawn.
//
// Thread: UI thread.

#include <QObject>

#include <cstdint>

class QEvent;

namespace soak {

class PaintCounter : public QObject {
    Q_OBJECT
  public:
    // Watches `widget` until either goes away.
    explicit PaintCounter(QObject* widget);

    std::uint64_t Paints() const { return m_paints; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::uint64_t m_paints = 0;
};

}  // namespace soak
