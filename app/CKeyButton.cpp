#include "app/CKeyButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

CKeyButton::CKeyButton(QWidget* parent) : QPushButton(parent) {
    // An owner-drawn button takes the focus when clicked, but never Enter and never becomes the
    // dialog's default button: Enter on a key ends the dialog instead.
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
}

bool CKeyButton::LoadBitmaps(const QPixmap& released, const QPixmap& pressed) {
    m_released = released;
    m_pressed = pressed;
    update();
    return !m_released.isNull();
}

void CKeyButton::SizeToContent() {
    if (!m_released.isNull())
        setFixedSize(m_released.size() / m_released.devicePixelRatio());
}

QSize CKeyButton::sizeHint() const {
    if (m_released.isNull())
        return QPushButton::sizeHint();
    return m_released.size() / m_released.devicePixelRatio();
}

void CKeyButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& face = isDown() && !m_pressed.isNull() ? m_pressed : m_released;
    // A key the scale has not is greyed, never drawn as one that works.
    if (!isEnabled())
        p.setOpacity(0.35);
    if (!face.isNull())
        p.drawPixmap(0, 0, face);
    p.setOpacity(1);
    if (hasFocus()) {
        // A dotted frame inside the face's border, so the keyboard user sees where Space goes.
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

void CKeyButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();  // to the dialog
        return;
    }
    if (IsShiftSpace(event)) {
        // What a double-click does, for whoever has no mouse; held down it does not repeat.
        if (!event->isAutoRepeat())
            emit doubleClicked();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void CKeyButton::keyReleaseEvent(QKeyEvent* event) {
    if (IsShiftSpace(event))
        return;
    QPushButton::keyReleaseEvent(event);
}

bool CKeyButton::IsShiftSpace(const QKeyEvent* event) const {
    return event->key() == Qt::Key_Space &&
           (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier && !isDown();
}

void CKeyButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mouseDoubleClickEvent(event);
        return;
    }
    // The press that came with this event already pushed the button in; the release that
    // follows must not count as another click.
    m_inDoubleClick = true;
    setDown(true);
    event->accept();
    emit doubleClicked();
}

void CKeyButton::mouseReleaseEvent(QMouseEvent* event) {
    if (m_inDoubleClick && event->button() == Qt::LeftButton) {
        m_inDoubleClick = false;
        // Released while not down: the base class ends its press tracking without a click.
        setDown(false);
        QPushButton::mouseReleaseEvent(event);
        event->accept();
        return;
    }
    QPushButton::mouseReleaseEvent(event);
}
