#include "app/MessagePresenter.h"

#include <QLabel>

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const MessageBoxRequest& request) {
    auto box = std::make_unique<QMessageBox>(request.icon, request.caption, request.text,
                                             QMessageBox::Ok, parent);
    // The texts carry names and system text (a process name, a device path) that anyone may
    // choose: never let Qt take them for markup.
    box->setTextFormat(Qt::PlainText);
    if (!request.detail.isEmpty()) {
        box->setInformativeText(request.detail);
        if (auto* detail = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            detail->setTextFormat(Qt::PlainText);
    }
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    return box;
}

void ShowMessageBox(QWidget* parent, const MessageBoxRequest& request) {
    const auto box = MakeMessageBox(parent, request);
    if (request.closer)
        QObject::connect(request.closer, &BoxCloser::closeRequested, box.get(),
                         &QMessageBox::reject);
    box->exec();
}
