#pragma once

#include <QDialog>

#include "ui_CLumeqAboutDlg.h"

namespace lumeq {

// Dialog 1 of the library: the About box, with the library's icon.
class CLumeqAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CLumeqAboutDlg(QWidget* parent = nullptr);

  private:
    Ui::CLumeqAboutDlg m_ui;
};

}  // namespace lumeq
