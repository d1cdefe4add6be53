#pragma once

// How the panel shows a message box. The panel calls a presenter instead of QMessageBox so that
// tests can capture the boxes without blocking.

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

struct MessageBoxRequest {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QString detail;  // shown beneath the text; may be empty
};

// Shows `request` modally (to `parent` when it is not null) and returns when it is dismissed.
using MessagePresenter = std::function<void(QWidget* parent, const MessageBoxRequest& request)>;

// The presenter of the running program: a modal QMessageBox with an OK button.
void ShowMessageBox(QWidget* parent, const MessageBoxRequest& request);
// The box ShowMessageBox shows, not yet shown; its texts are plain text, never markup.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const MessageBoxRequest& request);
