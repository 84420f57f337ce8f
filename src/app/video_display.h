// The display side of VideoBuffer: showing a buffer one to one and drawing lines into its pixels.
#ifndef KARTOVEL_APP_VIDEO_DISPLAY_H_
#define KARTOVEL_APP_VIDEO_DISPLAY_H_

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <vector>

#include "image/video_buffer.h"

class QColor;
class QPainter;

// An opaque top-down copy of `buffer` (the alpha byte is ignored, as the screen ignores it), tagged
// with `devicePixelRatio` so that one buffer pixel lands on one device pixel. Null for an empty
// buffer.
QImage ToImage(const VideoBuffer& buffer, qreal devicePixelRatio = 1.0);

// Copies the whole buffer to (x, y) of the painter's device without scaling; x and y are in the
// painter's logical pixels. Draws nothing for an empty buffer.
void Draw(const VideoBuffer& buffer, QPainter& painter, int x, int y, qreal devicePixelRatio = 1.0);

// A one-pixel solid line through `points` (buffer pixels, y down), both ends included; pixels
// outside the buffer are dropped. Fewer than two points draw nothing, as a polyline would.
void DrawPolyline(VideoBuffer& buffer, const std::vector<QPoint>& points, std::uint32_t colour);

// The colour word (red in bits 0-7, alpha 0) of a toolkit colour.
std::uint32_t ColourWord(const QColor& colour);

#endif  // KARTOVEL_APP_VIDEO_DISPLAY_H_
