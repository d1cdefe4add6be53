#pragma once

// A picture button with a released and a pressed face that reports a double-click as such:
// the first click of a double-click gives clicked(), the second press gives doubleClicked() and
// its release gives nothing more. Space clicks it, Shift+Space double-clicks it; Enter is left to
// the dialog.

#include <QPixmap>
#include <QPushButton>

class CKeyButton : public QPushButton {
    Q_OBJECT
  public:
    explicit CKeyButton(QWidget* parent = nullptr);

    // Either face may be null (then nothing is drawn for it). Returns false when `released` is
    // null.
    bool LoadBitmaps(const QPixmap& released, const QPixmap& pressed);
    // Makes the button the size of its released face, keeping its top-left corner.
    void SizeToContent();

    QSize sizeHint() const override;

  signals:
    void doubleClicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool IsShiftSpace(const QKeyEvent* event) const;

    QPixmap m_released;
    QPixmap m_pressed;
    bool m_inDoubleClick = false;
};
