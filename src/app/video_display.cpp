// Display of VideoBuffer through QImage and QPainter.
#include "app/video_display.h"

#include <QColor>
#include <QPainter>

QImage ToImage(const VideoBuffer& buffer, qreal devicePixelRatio) {
  if (!buffer.HasStorage()) return QImage();
  QImage image(buffer.width, buffer.height, QImage::Format_RGB32);
  if (image.isNull()) return image;
  // The pixel block is blue, green, red, alpha per pixel and bottom-up; QImage's RGB32 word has
  // the same byte order on little-endian machines but wants the top row first and alpha 0xFF.
  const std::size_t rowBytes = static_cast<std::size_t>(buffer.width) * 4;
  for (int y = 0; y < buffer.height; ++y) {
    const auto* from = reinterpret_cast<const std::uint32_t*>(
        buffer.pixels + static_cast<std::size_t>(buffer.height - 1 - y) * rowBytes);
    auto* to = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
    for (int x = 0; x < buffer.width; ++x) to[x] = from[x] | 0xFF000000u;
  }
  image.setDevicePixelRatio(devicePixelRatio);
  return image;
}

void Draw(const VideoBuffer& buffer, QPainter& painter, int x, int y, qreal devicePixelRatio) {
  const QImage image = ToImage(buffer, devicePixelRatio);
  if (!image.isNull()) painter.drawImage(QPoint(x, y), image);
}

std::uint32_t ColourWord(const QColor& colour) {
  return static_cast<std::uint32_t>(colour.red()) |
         static_cast<std::uint32_t>(colour.green()) << 8 |
         static_cast<std::uint32_t>(colour.blue()) << 16;
}
