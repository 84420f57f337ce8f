// A black-bordered frame that shows a VideoBuffer one to one, and the dialog-unit page geometry.
#ifndef KARTOVEL_APP_PREVIEW_FRAME_H_
#define KARTOVEL_APP_PREVIEW_FRAME_H_

#include <QFrame>
#include <QRect>
#include <functional>

#include "image/video_buffer.h"

class QWidget;

// Page geometry in dialog units (a quarter of the average character width across, an eighth of
// the font height down), so that the pages keep their proportions with any font and screen.
QRect DialogRect(const QWidget& page, int x, int y, int width, int height);

// A panel of `width` x `height` dialog units at the top centre of `page`, owned by `page`, for the
// controls of a page that is smaller than the wizard's largest. That size becomes the page's
// minimum.
QWidget* CentredPanel(QWidget& page, int width, int height);

class PreviewFrame : public QFrame {
 public:
  // Shows `buffer` (not owned; may be empty) with its top-left at `offset` logical pixels.
  PreviewFrame(QWidget* parent, const VideoBuffer* buffer, QPoint offset);

  // Runs at the start of every paint, so that work asked for since the last paint is done once.
  void SetBeforePaint(std::function<void()> work) { beforePaint_ = std::move(work); }
  // Moves the buffer's top-left corner to `offset` logical pixels.
  void SetOffset(QPoint offset) { offset_ = offset; }

  // Buffer pixels per logical pixel on the screen the frame is on.
  qreal PixelRatio() const { return devicePixelRatioF(); }
  // Buffer size that fills the frame's client area one to one: logical size x PixelRatio().
  QSize BufferSize() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const VideoBuffer* buffer_;
  QPoint offset_;
  std::function<void()> beforePaint_;
};

#endif  // KARTOVEL_APP_PREVIEW_FRAME_H_
