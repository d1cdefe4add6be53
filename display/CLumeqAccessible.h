#pragma once

#include <QAccessibleWidget>

namespace lumeq {

class CLumeqWnd;

// The display as assistive technology meets it: a named, read-only text whose content is the
// reading ("123.456 kg, stable"), and a value that is the number shown, so that a screen
// reader is told of each settled reading. UI thread.
class CLumeqAccessible final : public QAccessibleWidget,
                               public QAccessibleTextInterface,
                               public QAccessibleValueInterface {
  public:
    explicit CLumeqAccessible(CLumeqWnd* wnd);

    void* interface_cast(QAccessible::InterfaceType t) override;
    QString text(QAccessible::Text t) const override;

    // Text: the whole reading, a caret at its start and nothing selectable.
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    // Value: the number shown; none while the display shows no number. Read only.
    QVariant currentValue() const override;
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return {}; }
    QVariant minimumValue() const override { return {}; }
    QVariant minimumStepSize() const override { return {}; }

    // Makes Qt build one for every display window; safe to call more than once. UI thread.
    static void InstallFactory();

  private:
    QString Reading() const;
};

}  // namespace lumeq
