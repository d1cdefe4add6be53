#pragma once

// The memory of an off-screen image, kept from one paint pass to the next, so that a display
// repainted 80 times a second does not grow and shrink the heap (and fault in fresh pages) around
// every paint. Its owner may keep the picture too, while nothing it shows changed.

#include <QImage>

namespace lumeq {

class ImageBuffer {
  public:
    // An RGB32 image of exactly `width` by `height` pixels at device pixel ratio `ratio`, its
    // content left from the last pass (the caller paints every pixel). Valid until the next
    // call. Called on one thread.
    QImage& Get(int width, int height, qreal ratio = 1.0);

  private:
    QImage m_image;
};

}  // namespace lumeq
