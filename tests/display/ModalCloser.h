#pragma once

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace lumeq_test {

// Watches, from inside a modal loop, for the first modal window to show; hands it to `inspect`,
// which is expected to close it. Past the deadline every dialog is rejected so the test cannot
// hang, and TimedOut() says so.
class ModalCloser {
  public:
    explicit ModalCloser(std::function<void(QWidget*)> inspect, int deadlineMs = 10000)
        : m_inspect(std::move(inspect)), m_deadlineMs(deadlineMs) {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Check(); });
        m_timer.start(5);
    }

    bool Seen() const { return m_seen; }
    bool TimedOut() const { return m_timedOut; }

  private:
    void Check() {
        if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && !m_seen) {
            m_seen = true;
            m_timer.stop();
            m_inspect(modal);
            return;
        }
        if (m_clock.hasExpired(m_deadlineMs)) {
            m_timedOut = true;
            m_timer.stop();
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                    dialog->reject();
            }
        }
    }

    std::function<void(QWidget*)> m_inspect;
    int m_deadlineMs;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_seen = false;
    bool m_timedOut = false;
};

}  // namespace lumeq_test
