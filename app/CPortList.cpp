#include "app/CPortList.h"

#include <QAccessibleWidget>
#include <QLineEdit>

#include <algorithm>

namespace {

// The list's text field as assistive technology meets it: the port shown, read only and never
// selected, since typed text chooses nothing. A screen reader then says a combo box and the port,
// not an editable field and its selection.
class PortFieldAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit PortFieldAccessible(QLineEdit* edit)
        : QAccessibleWidget(edit, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::State state() const override {
        QAccessible::State st = QAccessibleWidget::state();
        st.readOnly = true;
        return st;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name || t == QAccessible::Value)
            return Shown();
        return QAccessibleWidget::text(t);
    }

    QString text(int startOffset, int endOffset) const override {
        const QString shown = Shown();
        // -1 as the end means "to the end".
        if (endOffset < 0 || endOffset > shown.size())
            endOffset = static_cast<int>(shown.size());
        startOffset = std::clamp(startOffset, 0, endOffset);
        return shown.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(Shown().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

  private:
    QString Shown() const { return static_cast<const QLineEdit*>(widget())->text(); }
};

QAccessibleInterface* CreateForPortField(const QString&, QObject* object) {
    auto* edit = qobject_cast<QLineEdit*>(object);
    if (edit && qobject_cast<CPortList*>(edit->parentWidget()))
        return new PortFieldAccessible(edit);  // owned by Qt's accessibility cache
    return nullptr;
}

}  // namespace

CPortList::CPortList(QWidget* parent) : QComboBox(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(CreateForPortField);
        return true;
    }();
    (void)installed;
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
