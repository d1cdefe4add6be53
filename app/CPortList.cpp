#include "app/CPortList.h"

#include <QLineEdit>

CPortList::CPortList(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // No completion of typed text, and no choice when editing ends (Tab, Enter, focus lost).
    setCompleter(nullptr);
    QLineEdit* edit = lineEdit();
    QObject::disconnect(edit, &QLineEdit::editingFinished, this, nullptr);
    connect(edit, &QLineEdit::textEdited, this, [this, edit](const QString& text) {
        if (currentIndex() == -1)
            return;
        const int cursor = edit->cursorPosition();
        setCurrentIndex(-1);  // empties the field
        edit->setText(text);
        edit->setCursorPosition(cursor);
    });
}
