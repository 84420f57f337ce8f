// Display of VideoBuffer through QImage/QPainter and Bresenham lines straight into the pixels.
#include "app/video_display.h"

#include <QColor>
#include <QPainter>
#include <cstdlib>

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

void DrawPolyline(VideoBuffer& buffer, const std::vector<QPoint>& points, std::uint32_t colour) {
  for (std::size_t i = 1; i < points.size(); ++i) {
    int x = points[i - 1].x();
    int y = points[i - 1].y();
    const int x1 = points[i].x();
    const int y1 = points[i].y();
    // Points far outside (a projection's wild values) would make the walk endless in practice.
    constexpr int kFar = 1 << 20;
    if (std::abs(x) > kFar || std::abs(y) > kFar || std::abs(x1) > kFar || std::abs(y1) > kFar) {
      continue;
    }
    const int dx = std::abs(x1 - x);
    const int dy = -std::abs(y1 - y);
    const int sx = x < x1 ? 1 : -1;
    const int sy = y < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
      buffer.SetPixel(x, y, colour);
      if (x == x1 && y == y1) break;
      const int twice = 2 * error;
      if (twice >= dy) {
        error += dy;
        x += sx;
      }
      if (twice <= dx) {
        error += dx;
        y += sy;
      }
    }
  }
}

std::uint32_t ColourWord(const QColor& colour) {
  return static_cast<std::uint32_t>(colour.red()) |
         static_cast<std::uint32_t>(colour.green()) << 8 |
         static_cast<std::uint32_t>(colour.blue()) << 16;
}
