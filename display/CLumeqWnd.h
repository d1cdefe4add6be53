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

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    CLumeqCtrl& m_ctrl;
    ImageBuffer m_frame;  // what a paint composes before it goes to the screen
};

}  // namespace lumeq
