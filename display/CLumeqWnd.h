#pragma once

#include <QWidget>

#include "display/paint/ImageBuffer.h"

namespace lumeq {

class CLumeqCtrl;

// The control's own window while it is active in place: a child of the host's widget that paints
// the control's picture. The control owns it and outlives it.
class CLumeqWnd : public QWidget {
    Q_OBJECT

  public:
    CLumeqWnd(CLumeqCtrl& ctrl, QWidget* parent);

    // What the picture shows, as text for assistive technology. A new reading that differs from
    // the last raises one accessible value-change event and one readingChanged.
    QString Reading() const { return m_reading; }
    void SetReading(const QString& reading);

  signals:
    // Also for hosts that do not link the library: connect by signature.
    void readingChanged(const QString& reading);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    CLumeqCtrl& m_ctrl;
    QString m_reading;
    ImageBuffer m_frame;  // what a paint composes before it goes to the screen
};

}  // namespace lumeq
