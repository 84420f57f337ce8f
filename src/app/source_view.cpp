// SourceView: painting the picture at any zoom, the labelled graticule, and the view's mouse and
// keys.
#include "app/source_view.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/video_display.h"

namespace {

constexpr double kMinZoom = 1.0 / 64;
constexpr double kMaxZoom = 64;
constexpr double kWheelStep = 1.25;  // per notch
constexpr QRgb kGraticuleRgb = qRgb(255, 255, 0);

}  // namespace

SourceView::SourceView(QWidget* parent, MapInstance* instance)
    : QWidget(parent), instance_(instance) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(160, 120);
  setToolTip(QStringLiteral(
      "Drag to line the graticule up with the map; right or middle button pans.\n"
      "Wheel or + and - zoom, 1 shows one picture pixel per screen pixel, 0 the whole picture."));
}

void SourceView::SetSource(const VideoBuffer& source) {
  picture_ = ToImage(source);
  // A picture that marks where the map ends with transparent pixels (as the reverse render and
  // RGBA PNGs do) shows the view's background there; one without any opaque alpha is opaque.
  bool transparent = false, opaque = false;
  for (int y = 0; y < source.height && !(transparent && opaque); ++y) {
    for (int x = 0; x < source.width; ++x) {
      const std::uint32_t alpha = source.GetPixel(x, y) >> 24;
      transparent |= alpha == 0;
      opaque |= alpha == 0xFF;
    }
  }
  if (transparent && opaque) {
    picture_ = picture_.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < picture_.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(picture_.scanLine(y));
      for (int x = 0; x < picture_.width(); ++x) {
        if (source.GetPixel(x, y) >> 24 == 0) row[x] = 0;
      }
    }
  }
  reduced_ = QImage();
  linesStale_ = true;
  ShowWhole();
}

void SourceView::MapChanged() {
  linesStale_ = true;
  update();
}

void SourceView::SetSpacing(double degrees) {
  spacing_ = degrees;
  MapChanged();
}

void SourceView::SetOpacity(double opacity) {
  opacity_ = std::clamp(opacity, 0.0, 1.0);
  update();
}

const std::vector<GraticuleLine>& SourceView::Lines() {
  if (linesStale_ && instance_->projection && !picture_.isNull()) {
    lines_ = GraticuleLines(*instance_, picture_.width(), picture_.height(), spacing_);
    linesStale_ = false;
  }
  return lines_;
}

void SourceView::ZoomBy(double factor, QPointF anchor) {
  const QPointF fixed = ToSource(anchor);
  zoom_ = std::clamp(zoom_ * factor, kMinZoom, kMaxZoom);
  origin_ = fixed - anchor / zoom_;
  whole_ = false;
  update();
}

void SourceView::ZoomOneToOne() { ZoomBy(1 / (zoom_ * devicePixelRatioF())); }

void SourceView::ShowWhole() {
  whole_ = true;
  if (picture_.isNull() || width() <= 0 || height() <= 0) {
    zoom_ = 1;
    origin_ = QPointF();
  } else {
    zoom_ = std::min(width() / static_cast<double>(picture_.width()),
                     height() / static_cast<double>(picture_.height()));
    origin_ = QPointF(picture_.width() - width() / zoom_, picture_.height() - height() / zoom_) / 2;
  }
  update();
}

void SourceView::resizeEvent(QResizeEvent*) {
  if (whole_) ShowWhole();
}

void SourceView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().dark());
  if (!picture_.isNull()) {
    const double ratio = devicePixelRatioF();
    if (zoom_ * ratio < 1) {
      // Zoomed out: a smooth reduction made once per zoom, so that drags only copy pixels.
      if (reducedZoom_ != zoom_ || reduced_.isNull()) {
        reduced_ = picture_.scaled(std::max(1, qRound(picture_.width() * zoom_ * ratio)),
                                   std::max(1, qRound(picture_.height() * zoom_ * ratio)),
                                   Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        reduced_.setDevicePixelRatio(ratio);
        reducedZoom_ = zoom_;
      }
      painter.drawImage(ToView(QPointF(0, 0)), reduced_);
    } else {
      // Zoomed in: every picture pixel a sharp square, to fit lines to the pixel.
      painter.save();
      painter.translate(-origin_ * zoom_);
      painter.scale(zoom_, zoom_);
      painter.drawImage(QPointF(0, 0), picture_);
      painter.restore();
    }
  }
  if (opacity_ > 0) DrawGraticule(painter);
  painter.setPen(QPen(hasFocus() ? palette().highlight().color() : Qt::black, 0));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void SourceView::DrawGraticule(QPainter& painter) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(opacity_);
  painter.setPen(QPen(QColor(kGraticuleRgb), 1));
  const QPointF centre(width() / 2.0, height() / 2.0);
  struct Label {
    QPointF at;
    QString text;
  };
  std::vector<Label> labels;
  for (const GraticuleLine& line : Lines()) {
    double best = 1e300;
    QPointF labelAt;
    for (const std::vector<QPointF>& run : line.runs) {
      QPolygonF polygon;
      polygon.reserve(static_cast<qsizetype>(run.size()));
      for (const QPointF& p : run) {
        const QPointF v = ToView(p);
        polygon << v;
        // Parallels are labelled where they cross the view's vertical middle, meridians where
        // they cross its horizontal middle.
        const double off =
            line.parallel ? std::fabs(v.x() - centre.x()) : std::fabs(v.y() - centre.y());
        if (off < best && rect().contains(v.toPoint())) {
          best = off;
          labelAt = v;
        }
      }
      if (polygon.size() > 1) painter.drawPolyline(polygon);
    }
    if (best < 1e300) labels.push_back({labelAt + QPointF(3, -3), GraticuleLabel(line)});
  }
  // Dark outlines keep the labels legible over any map; a label that would cover another is left
  // out (meridians crowd near the poles and at small zooms).
  QPainterPath path;
  std::vector<QRectF> taken;
  const QFontMetricsF metrics(font());
  for (const Label& label : labels) {
    const QRectF box = metrics.boundingRect(label.text).translated(label.at).adjusted(-2, -1, 2, 1);
    bool free = true;
    for (const QRectF& other : taken) free &= !other.intersects(box);
    if (!free) continue;
    taken.push_back(box);
    path.addText(label.at, font(), label.text);
  }
  painter.setPen(QPen(QColor(0, 0, 0, 200), 3));
  painter.drawPath(path);
  painter.fillPath(path, QColor(kGraticuleRgb));
  painter.restore();
}

void SourceView::mousePressEvent(QMouseEvent* event) {
  if (dragging_ != Drag::kNone) return;
  press_ = event->position();
  originAtPress_ = origin_;
  if (event->button() == Qt::LeftButton) {
    dragging_ = Drag::kFit;
    if (drag_.start) drag_.start();
  } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
    dragging_ = Drag::kPan;
    setCursor(Qt::ClosedHandCursor);
  }
}

void SourceView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF moved = event->position() - press_;
  if (dragging_ == Drag::kFit) {
    if (drag_.move) drag_.move(moved / zoom_);
  } else if (dragging_ == Drag::kPan) {
    origin_ = originAtPress_ - moved / zoom_;
    whole_ = false;
    update();
  }
}

void SourceView::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ == Drag::kFit && event->button() == Qt::LeftButton) {
    dragging_ = Drag::kNone;
    if (drag_.end) drag_.end(event->modifiers() & Qt::ShiftModifier);
  } else if (dragging_ == Drag::kPan && event->button() != Qt::LeftButton) {
    dragging_ = Drag::kNone;
    unsetCursor();
  }
}

void SourceView::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches != 0) ZoomBy(std::pow(kWheelStep, notches), event->position());
  event->accept();
}

void SourceView::keyPressEvent(QKeyEvent* event) {
  const double panStep = 0.1 / zoom_;
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomBy(2);
      break;
    case Qt::Key_Minus:
      ZoomBy(0.5);
      break;
    case Qt::Key_1:
      ZoomOneToOne();
      break;
    case Qt::Key_0:
      ShowWhole();
      return;
    case Qt::Key_Left:
      origin_.rx() -= panStep * width();
      break;
    case Qt::Key_Right:
      origin_.rx() += panStep * width();
      break;
    case Qt::Key_Up:
      origin_.ry() -= panStep * height();
      break;
    case Qt::Key_Down:
      origin_.ry() += panStep * height();
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  whole_ = false;
  update();
}
