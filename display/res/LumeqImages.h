#pragma once

// The library's images, found through the module state current on the calling thread.

#include <QIcon>
#include <QImage>

namespace lumeq {

// Icon 1: one 32 by 32 and one 16 by 16 image, 16 colours each.
QIcon LumeqIcon();

// Bitmap 1: the 16 by 15 toolbox picture, 16 colours.
QImage LumeqToolboxBitmap();

}  // namespace lumeq
