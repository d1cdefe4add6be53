#include "bench/soak/PaintCounter.h"

#include <QEvent>

namespace soak {

PaintCounter::PaintCounter(QObject* widget) {
    widget->installEventFilter(this);
}

bool PaintCounter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint)
        ++m_paints;
    return QObject::eventFilter(watched, event);
}

}  // namespace soak
