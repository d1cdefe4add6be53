#pragma once

// How the panel shows a message box. The panel calls a presenter instead of QMessageBox so that
// tests can capture the boxes without blocking.

#include <QMessageBox>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Closes the boxes that name it before the user does, once what they say is old news.
class BoxCloser : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    void CloseBoxes() { emit closeRequested(); }

  signals:
    void closeRequested();
};

struct MessageBoxRequest {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QString detail;  // shown beneath the text; may be empty
    // When set, the box is closed as if dismissed once it asks (a presenter must honour it).
    const BoxCloser* closer = nullptr;
    // A question's answers in the order shown, instead of OK: the first is the default, the one
    // with the reject role is Esc's and the close box's.
    struct Choice {
        QString text;
        QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
    };
    std::vector<Choice> choices{};
    // Set by the presenter to the index of the choice taken; left alone when none was.
    int* answer = nullptr;
};

// Shows `request` modally (to `parent` when it is not null) and returns when it is dismissed.
using MessagePresenter = std::function<void(QWidget* parent, const MessageBoxRequest& request)>;

// The presenter of the running program: a modal QMessageBox with an OK button.
void ShowMessageBox(QWidget* parent, const MessageBoxRequest& request);
// The box ShowMessageBox shows, not yet shown; its texts are plain text, never markup.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const MessageBoxRequest& request);
