#include "display/paint/ImageBuffer.h"

namespace lumeq {

QImage& ImageBuffer::Get(int width, int height, qreal ratio) {
    if (m_image.width() != width || m_image.height() != height ||
        m_image.format() != QImage::Format_RGB32)
        m_image = QImage(width, height, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(ratio);
    return m_image;
}

}  // namespace lumeq
