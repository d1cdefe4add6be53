#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace lumeq_test {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) : m_widget(widget) { widget->installEventFilter(this); }
    ~PaintCounter() override {
        if (m_widget)
            m_widget->removeEventFilter(this);
    }
    int Count() const { return m_count; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_widget && event->type() == QEvent::Paint)
            ++m_count;
        return false;
    }

  private:
    QPointer<QWidget> m_widget;
    int m_count = 0;
};

}  // namespace lumeq_test
