// SourceView: the source picture with the live graticule over it, zoomed and panned by the user;
// left-button drags are handed to the page (they fit the map), the other buttons pan.
#ifndef KARTOVEL_APP_SOURCE_VIEW_H_
#define KARTOVEL_APP_SOURCE_VIEW_H_

#include <QImage>
#include <QPointF>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/graticule.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"

class SourceView : public QWidget {
 public:
  // Drag of the left button: `start` at the press, `move` with the distance from the press in
  // source pixels (x right, y down), `end` at the release (`cancelled` when Shift was held).
  struct DragHandlers {
    std::function<void()> start;
    std::function<void(QPointF sourceDelta)> move;
    std::function<void(bool cancelled)> end;
  };

  // `instance` (not owned) is the map whose graticule is drawn.
  SourceView(QWidget* parent, MapInstance* instance);

  void SetDragHandlers(DragHandlers handlers) { drag_ = std::move(handlers); }
  // Takes a copy of `source` for display and shows it whole.
  void SetSource(const VideoBuffer& source);
  // The map changed: the graticule is traced again before the next paint.
  void MapChanged();
  void SetSpacing(double degrees);
  double Spacing() const { return spacing_; }
  void SetOpacity(double opacity);  // 0 hides the graticule, 1 opaque

  // View pixels (logical) per source pixel; the source point at the view's top-left corner.
  double Zoom() const { return zoom_; }
  QPointF Origin() const { return origin_; }
  // Zooms by `factor`, keeping the source point under `anchor` (view pixels) where it is.
  void ZoomBy(double factor, QPointF anchor);
  void ZoomBy(double factor) { ZoomBy(factor, QPointF(width() / 2.0, height() / 2.0)); }
  // One source pixel per screen pixel, about the view's centre.
  void ZoomOneToOne();
  // The whole picture, centred; it then follows the view's size until the user zooms.
  void ShowWhole();
  QPointF ToSource(QPointF view) const { return origin_ + view / zoom_; }
  QPointF ToView(QPointF source) const { return (source - origin_) * zoom_; }
  QSize SourceSize() const { return picture_.size(); }
  // The graticule as last traced, in source pixels.
  const std::vector<GraticuleLine>& Lines();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void DrawGraticule(QPainter& painter);

  MapInstance* instance_;
  DragHandlers drag_;
  QImage picture_;  // the source, top row first
  QImage reduced_;  // picture_ at zoom_ when zoomed out, so that a paint only copies
  double reducedZoom_ = 0;
  double zoom_ = 1;
  QPointF origin_;
  bool whole_ = true;
  double spacing_ = 30;
  double opacity_ = 1;
  std::vector<GraticuleLine> lines_;
  bool linesStale_ = true;
  enum class Drag { kNone, kFit, kPan } dragging_ = Drag::kNone;
  QPointF press_;
  QPointF originAtPress_;
};

#endif  // KARTOVEL_APP_SOURCE_VIEW_H_
