#include "app/MessagePresenter.h"

#include <QLabel>
#include <QPushButton>

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const MessageBoxRequest& request) {
    auto box = std::make_unique<QMessageBox>(
        request.icon, request.caption, request.text,
        request.choices.empty() ? QMessageBox::Ok : QMessageBox::NoButton, parent);
    for (const MessageBoxRequest::Choice& choice : request.choices) {
        QPushButton* button = box->addButton(choice.text, choice.role);
        if (box->defaultButton() == nullptr)
            box->setDefaultButton(button);
        if (choice.role == QMessageBox::RejectRole)
            box->setEscapeButton(button);
    }
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
    if (request.answer && box->clickedButton()) {
        // By text: the box orders its buttons by role, not as they were added.
        for (std::size_t i = 0; i < request.choices.size(); ++i) {
            if (box->clickedButton()->text() == request.choices[i].text)
                *request.answer = static_cast<int>(i);
        }
    }
}
