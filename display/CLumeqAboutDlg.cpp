#include "display/CLumeqAboutDlg.h"

#include "display/res/LumeqImages.h"

namespace lumeq {

CLumeqAboutDlg::CLumeqAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    m_ui.setupUi(this);
    const QIcon icon = LumeqIcon();
    m_ui.iconLabel->setPixmap(icon.pixmap(32, 32));
    setWindowIcon(icon);
}

}  // namespace lumeq
