// The display side of VideoBuffer: showing a buffer one to one.
#ifndef KARTOVEL_APP_VIDEO_DISPLAY_H_
#define KARTOVEL_APP_VIDEO_DISPLAY_H_

#include <QImage>
#include <cstdint>

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

// The colour word (red in bits 0-7, alpha 0) of a toolkit colour.
std::uint32_t ColourWord(const QColor& colour);

#endif  // KARTOVEL_APP_VIDEO_DISPLAY_H_
