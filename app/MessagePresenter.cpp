#include "MessagePresenter.h"

void ShowMessageBox(QWidget* parent, const MessageBoxRequest& request) {
    QMessageBox box(request.icon, request.caption, request.text, QMessageBox::Ok, parent);
    if (!request.detail.isEmpty())
        box.setInformativeText(request.detail);
    box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (request.closer)
        QObject::connect(request.closer, &BoxCloser::closeRequested, &box, &QMessageBox::reject);
    box.exec();
}
