#pragma once

// The About box: program icon, name and version, OK.

#include <QDialog>

class CAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutBox(QWidget* parent = nullptr);
};
