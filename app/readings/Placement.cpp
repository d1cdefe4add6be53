#include "app/readings/Placement.h"

#include <algorithm>

namespace {

constexpr int kGap = 8;

int Clamp(int at, int length, int low, int high) {
    return std::max(low, std::min(at, high - length));
}

}  // namespace

QRect PlaceBeside(const QRect& beside, QSize size, const QMargins& frame, const QRect& screen) {
    const QSize decorations(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize whole = (size + decorations).boundedTo(screen.size());
    const int left = screen.left();
    const int top = screen.top();
    const int right = screen.left() + screen.width();  // one past the last column
    const int bottom = screen.top() + screen.height();
    const int level = Clamp(beside.top(), whole.height(), top, bottom);
    const int under = Clamp(beside.left(), whole.width(), left, right);
    QPoint at;
    if (beside.left() + beside.width() + kGap + whole.width() <= right)
        at = {beside.left() + beside.width() + kGap, level};
    else if (beside.left() - kGap - whole.width() >= left)
        at = {beside.left() - kGap - whole.width(), level};
    else if (beside.top() + beside.height() + kGap + whole.height() <= bottom)
        at = {under, beside.top() + beside.height() + kGap};
    else if (beside.top() - kGap - whole.height() >= top)
        at = {under, beside.top() - kGap - whole.height()};
    else
        at = {under, level};
    return QRect(at, whole);
}
