#include "display/CLumeqWnd.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QAccessible>
#include <QImage>
#include <QPainter>
#include <QResizeEvent>

#include "display/CLumeqAccessible.h"
#include "display/CLumeqCtrl.h"

namespace lumeq {

namespace {

// The size the picture is drawn for; a fitted picture is this times a scale.
constexpr int kPictureWidth = 359;
constexpr int kPictureHeight = 101;

}  // namespace

CLumeqWnd::CLumeqWnd(CLumeqCtrl& ctrl, QWidget* parent) : QWidget(parent), m_ctrl(ctrl) {
    // The picture covers every pixel, so Qt need not clear the area before a paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] {
        if (m_settle.Check(SettledReading::Clock::now()))
            Announce();
        ScheduleAnnouncement();
    });
    CLumeqAccessible::InstallFactory();
}

void CLumeqWnd::SetReading(const SpokenReading& reading) {
    // The same reading again changes nothing: its announcement, if due, is already scheduled.
    if (reading.text == m_reading.text && reading.weight == m_reading.weight &&
        reading.stable == m_reading.stable && reading.value == m_reading.value)
        return;
    const bool changed = reading.text != m_reading.text;
    m_reading = reading;
    if (changed)
        emit readingChanged(m_reading.text);
    if (m_settle.Show(m_reading.weight, m_reading.stable, SettledReading::Clock::now()))
        Announce();
    ScheduleAnnouncement();
}

void CLumeqWnd::Announce() {
    QAccessibleValueChangeEvent event(
        this, m_reading.value ? QVariant(*m_reading.value) : QVariant(m_reading.text));
    QAccessible::updateAccessibility(&event);
    emit readingSettled(m_reading.text);
}

void CLumeqWnd::ScheduleAnnouncement() {
    const auto due = m_settle.Due();
    if (!due) {
        m_settleTimer.stop();
        return;
    }
    using namespace std::chrono;
    const auto wait = duration_cast<milliseconds>(*due - SettledReading::Clock::now());
    m_settleTimer.start(std::max<milliseconds::rep>(wait.count() + 1, 1));
}

void CLumeqWnd::SetFit(bool fit) {
    m_fit = fit;
    update();
}

QRect CLumeqWnd::FittedPicture() const {
    if (!m_fit)
        return rect();
    const QSize size =
        QSize(kPictureWidth, kPictureHeight).scaled(this->size(), Qt::KeepAspectRatio);
    QRect fitted(QPoint(0, 0), size);
    fitted.moveCenter(rect().center());
    return fitted;
}

void CLumeqWnd::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    // Composed off screen and copied in one block, so a half-drawn picture is never seen. On a
    // dense screen, or fitted to a larger window, the image has the device's resolution and the
    // control draws for it, so nothing is enlarged.
    const QRect picture = FittedPicture();
    const qreal zoom = m_fit ? qreal(picture.width()) / kPictureWidth : 1.0;
    const qreal ratio = devicePixelRatioF() * zoom;
    const QRect bounds = m_fit ? QRect(0, 0, kPictureWidth, kPictureHeight) : rect();
    QImage& image = m_frame.Get(static_cast<int>(std::ceil(bounds.width() * ratio)),
                                static_cast<int>(std::ceil(bounds.height() * ratio)), ratio);
    const Composed composed{m_ctrl.State(), bounds, image.size()};
    if (m_composed != composed) {
        m_ctrl.OnDraw(&image, bounds);
        m_composed = composed;
    }
    QPainter painter(this);
    if (m_fit && picture != rect()) {
        // The margins beside the picture take its background.
        painter.fillRect(rect(), image.pixelColor(0, 0));
    }
    image.setDevicePixelRatio(devicePixelRatioF());
    painter.drawImage(picture.topLeft(), image);
    image.setDevicePixelRatio(ratio);
}

void CLumeqWnd::resizeEvent(QResizeEvent* event) {
    m_ctrl.OnSize(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

}  // namespace lumeq
