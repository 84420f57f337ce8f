// PreviewFrame: a VideoBuffer on screen inside a one-pixel black frame.
#include "app/preview_frame.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPainter>
#include <cmath>

#include "app/video_display.h"

QRect DialogRect(const QWidget& page, int x, int y, int width, int height) {
  const QFontMetrics metrics(page.font());
  const double across = metrics.averageCharWidth() / 4.0;
  const double down = metrics.height() / 8.0;
  return QRect(static_cast<int>(std::lround(x * across)), static_cast<int>(std::lround(y * down)),
               static_cast<int>(std::lround(width * across)),
               static_cast<int>(std::lround(height * down)));
}

QWidget* CentredPanel(QWidget& page, int width, int height) {
  auto* panel = new QWidget(&page);
  panel->setFixedSize(DialogRect(page, 0, 0, width, height).size());
  auto* layout = new QHBoxLayout(&page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(panel, 0, Qt::AlignHCenter | Qt::AlignTop);
  page.setMinimumSize(panel->size());
  return panel;
}

PreviewFrame::PreviewFrame(QWidget* parent, const VideoBuffer* buffer, QPoint offset)
    : QFrame(parent), buffer_(buffer), offset_(offset) {
  // The page handles the mouse over its frames (drags start inside the source view).
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize PreviewFrame::BufferSize() const {
  const qreal ratio = PixelRatio();
  return QSize(static_cast<int>(std::lround(width() * ratio)),
               static_cast<int>(std::lround(height() * ratio)));
}

void PreviewFrame::paintEvent(QPaintEvent*) {
  if (beforePaint_) beforePaint_();
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  Draw(*buffer_, painter, offset_.x(), offset_.y(), PixelRatio());
  painter.setPen(QPen(Qt::black, 0));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
