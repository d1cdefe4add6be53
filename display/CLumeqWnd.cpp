#include "CLumeqWnd.h"

#include <QImage>
#include <QPainter>
#include <QResizeEvent>

#include "CLumeqCtrl.h"

namespace lumeq {

CLumeqWnd::CLumeqWnd(CLumeqCtrl& ctrl, QWidget* parent) : QWidget(parent), m_ctrl(ctrl) {
    // The picture covers every pixel, so Qt need not clear the area before a paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CLumeqWnd::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    // Composed off screen and copied in one block, so a half-drawn picture is never seen.
    QImage& image = m_frame.Get(width(), height());
    m_ctrl.OnDraw(&image, rect());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void CLumeqWnd::resizeEvent(QResizeEvent* event) {
    m_ctrl.OnSize(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

}  // namespace lumeq
