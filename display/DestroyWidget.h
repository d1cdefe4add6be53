#pragma once

#include <QPointer>
#include <QWidget>

namespace lumeq {

// A widget made for a host's parent is owned by two: Qt deletes it with the parent, and its
// maker deletes it when it is done. The guarded pointer is null once either has done so.
template <typename T>
void DestroyWidget(QPointer<T>& widget) {
    T* w = widget.data();
    widget.clear();
    delete w;  // deleting a null pointer does nothing
}

}  // namespace lumeq
