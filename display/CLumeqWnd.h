#pragma once

#include <optional>
#include <string>

#include <QTimer>
#include <QWidget>

#include "display/SettledReading.h"
#include "display/paint/ImageBuffer.h"
#include "display/paint/SegmentPainter.h"

namespace lumeq {

class CLumeqCtrl;

// What the picture shows, read as text.
struct SpokenReading {
    QString text;        // "Last reading, port closed: 123.456 kg, stable"
    std::string weight;  // what must stand still before it is announced: figures, unit, note
    bool stable = false;
    std::optional<double> value;  // the number shown, when it is one
};

// The control's own window while it is active in place: a child of the host's widget that paints
// the control's picture. The control owns it and outlives it.
class CLumeqWnd : public QWidget {
    Q_OBJECT

  public:
    CLumeqWnd(CLumeqCtrl& ctrl, QWidget* parent);

    // What the picture shows, as text for assistive technology. A reading that differs from the
    // last emits readingChanged; assistive technology is told (one accessible value-change
    // event) only once a reading has settled, at most about once a second.
    QString Reading() const { return m_reading.text; }
    std::optional<double> Value() const { return m_reading.value; }
    void SetReading(const SpokenReading& reading);

    // The picture fills the window at the largest scale that keeps its proportions.
    void SetFit(bool fit);

  signals:
    // Also for hosts that do not link the library: connect by signature.
    void readingChanged(const QString& reading);
    // A reading settled and assistive technology was told.
    void readingSettled(const QString& reading);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Announce();
    void ScheduleAnnouncement();
    QRect FittedPicture() const;

    CLumeqCtrl& m_ctrl;
    SpokenReading m_reading;
    SettledReading m_settle;
    QTimer m_settleTimer;
    bool m_fit = false;
    ImageBuffer m_frame;  // what a paint composes before it goes to the screen
    // What m_frame holds: a paint of the same picture at the same size only copies it again.
    struct Composed {
        DisplayState state;
        QRect bounds;
        QSize size;
        bool operator==(const Composed&) const = default;
    };
    std::optional<Composed> m_composed;
};

}  // namespace lumeq
