#pragma once

// The port list: an editable drop-down whose only choice is picking an item. activated() is that
// pick (in the dropped-down list by mouse or keyboard, or an arrow key on the closed field, which
// moves to the next item as a pick does). Typed text chooses nothing: it leaves the list with no
// selected item (currentIndex() -1) while the field keeps the text.

#include <QComboBox>

class CPortList : public QComboBox {
    Q_OBJECT
  public:
    explicit CPortList(QWidget* parent = nullptr);
};
