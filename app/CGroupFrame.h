#pragma once

// A group box drawn as the panel's frames are: an etched rectangle whose top line runs through
// the middle of the title. Only a frame: clicks go to the controls it surrounds.

#include <QGroupBox>

class CGroupFrame : public QGroupBox {
    Q_OBJECT
  public:
    explicit CGroupFrame(const QString& title, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
