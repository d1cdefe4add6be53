#pragma once

// Where a window opens beside another so that all of it is on the screen. Plain geometry.

#include <QMargins>
#include <QRect>
#include <QSize>

// The frame of a window of client size `size` with decorations `frame`, placed beside `beside`
// (a frame) within `screen` (the available area): to its right when it fits, else to its left,
// else below it, else above, else over it; the top edges level where the screen allows; a
// window larger than the screen made to fit it.
QRect PlaceBeside(const QRect& beside, QSize size, const QMargins& frame, const QRect& screen);
