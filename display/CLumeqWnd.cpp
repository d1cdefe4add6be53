#include "CLumeqWnd.h"

#include <cmath>

#include <QAccessible>
#include <QImage>
#include <QPainter>
#include <QResizeEvent>

#include "CLumeqAccessible.h"
#include "CLumeqCtrl.h"

namespace lumeq {

CLumeqWnd::CLumeqWnd(CLumeqCtrl& ctrl, QWidget* parent) : QWidget(parent), m_ctrl(ctrl) {
    // The picture covers every pixel, so Qt need not clear the area before a paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    CLumeqAccessible::InstallFactory();
}

void CLumeqWnd::SetReading(const QString& reading) {
    if (reading == m_reading)
        return;
    m_reading = reading;
    QAccessibleValueChangeEvent event(this, m_reading);
    QAccessible::updateAccessibility(&event);
    emit readingChanged(m_reading);
}

void CLumeqWnd::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    // Composed off screen and copied in one block, so a half-drawn picture is never seen. On a
    // dense screen the image has the screen's resolution, so nothing is enlarged.
    const qreal ratio = devicePixelRatioF();
    QImage& image = m_frame.Get(static_cast<int>(std::ceil(width() * ratio)),
                                static_cast<int>(std::ceil(height() * ratio)), ratio);
    m_ctrl.OnDraw(&image, rect());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void CLumeqWnd::resizeEvent(QResizeEvent* event) {
    m_ctrl.OnSize(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

}  // namespace lumeq
