// FitPanel: the fitting controls of the source projection page and their worker thread.
#include "app/fit_panel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/preview_frame.h"
#include "app/text_exchange.h"

namespace {

constexpr std::uint32_t kPointColour = 0x000000FF;     // red
constexpr std::uint32_t kSelectedColour = 0x00FFFF00;  // cyan
constexpr std::uint32_t kResidualColour = 0x00FF00FF;  // magenta
constexpr double kResidualMagnification = 10;
constexpr int kMarkerRadius = 4;  // buffer pixels
constexpr int kGrabRadius = 6;    // logical pixels around a marker that pick it

void Line(VideoBuffer& b, double x0, double y0, double x1, double y1, std::uint32_t colour) {
  const int steps = static_cast<int>(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))) + 1;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    b.SetPixel(static_cast<int>(std::lround(x0 + t * (x1 - x0))),
               static_cast<int>(std::lround(y0 + t * (y1 - y0))), colour);
  }
}

bool Ready(const Fit::ControlPoint& p) { return !std::isnan(p.latitude); }

// "30.5, -20" or "30.5 -20": latitude and longitude in degrees.
bool ParsePlace(const QString& text, double* lat, double* lon) {
  QString t = text;
  t.replace(QLatin1Char(','), QLatin1Char(' '));
  const QStringList parts = t.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (parts.size() != 2) return false;
  bool a = false, b = false;
  *lat = parts[0].toDouble(&a);
  *lon = parts[1].toDouble(&b);
  return a && b;
}

}  // namespace

FitPanel::FitPanel(QWidget* page, const VideoBuffer* source, MapInstance* instance,
                   PreviewFrame* view, std::function<void(const MapSettings&)> apply)
    : QObject(page),
      page_(page),
      source_(source),
      instance_(instance),
      view_(view),
      apply_(std::move(apply)) {
  const auto rect = [page](int x, int y, int w, int h) { return DialogRect(*page, x, y, w, h); };
  const auto button = [&](const QString& text, int x, int w) {
    auto* b = new QPushButton(text, page);
    b->setGeometry(rect(x, 4, w, 12));
    return b;
  };
  fitOutline_ = button(QStringLiteral("Fit &Outline"), 408, 50);
  pointMode_ = button(QStringLiteral("&Points"), 460, 34);
  pointMode_->setCheckable(true);
  fitPoints_ = button(QStringLiteral("Fit Po&ints"), 496, 44);
  rank_ = button(QStringLiteral("&Which Projection?"), 542, 70);
  cancel_ = button(QStringLiteral("Cancel"), 614, 40);
  cancel_->setEnabled(false);
  rankList_ = new QListWidget(page);
  rankList_->setGeometry(rect(408, 19, 246, 57));
  rankList_->setToolTip(QStringLiteral("Best first; click a projection to take it"));

  auto* caption = new QLabel(QStringLiteral("Point &lat, lon:"), page);
  caption->setGeometry(rect(408, 206, 56, 12));
  place_ = new QLineEdit(page);
  place_->setGeometry(rect(466, 206, 110, 12));
  place_->setPlaceholderText(QStringLiteral("click the map, then type e.g. 30.5, -20"));
  caption->setBuddy(place_);
  delete_ = new QPushButton(QStringLiteral("&Delete Point"), page);
  delete_->setGeometry(rect(580, 206, 74, 12));
  status_ = new QLabel(page);
  status_->setGeometry(rect(408, 221, 246, 40));
  status_->setWordWrap(true);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  connect(fitOutline_, &QPushButton::clicked, this, [this] { FitOutline(); });
  connect(fitPoints_, &QPushButton::clicked, this, [this] { FitPoints(); });
  connect(rank_, &QPushButton::clicked, this, [this] { Rank(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
  connect(place_, &QLineEdit::returnPressed, this, [this] { PlaceEdited(); });
  connect(delete_, &QPushButton::clicked, this, [this] { DeleteSelected(); });
  connect(rankList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const int index = item->data(Qt::UserRole).toInt();
    if (index >= 0 && index < static_cast<int>(ranked_.size())) Take(ranked_[index]);
  });
}

FitPanel::~FitPanel() {
  cancelled_ = true;
  if (worker_.joinable()) worker_.join();
}

void FitPanel::Start(std::function<Outcome()> work) {
  if (Busy()) return;
  cancelled_ = false;
  for (QPushButton* b : {fitOutline_, fitPoints_, rank_}) b->setEnabled(false);
  cancel_->setEnabled(true);
  status_->setText(QStringLiteral("Fitting…"));
  worker_ = std::thread([this, work = std::move(work)] {
    Outcome outcome = work();
    QMetaObject::invokeMethod(
        this, [this, outcome = std::move(outcome)]() mutable { Finish(std::move(outcome)); },
        Qt::QueuedConnection);
  });
}

void FitPanel::Wait() {
  while (Busy()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

void FitPanel::Finish(Outcome outcome) {
  worker_.join();
  jobInstances_.clear();
  for (QPushButton* b : {fitOutline_, fitPoints_, rank_}) b->setEnabled(true);
  cancel_->setEnabled(false);
  if (outcome.status != Fit::kFitOk) {
    status_->setText(QString::fromStdString(outcome.reason) + QStringLiteral(". Nothing changed."));
    return;
  }
  if (outcome.results.size() == 1) {
    Take(outcome.results.front());
    return;
  }
  ranked_ = std::move(outcome.results);
  rankList_->clear();
  const bool byPoints = !ranked_.front().residuals.empty();
  for (std::size_t i = 0; i < ranked_.size(); ++i) {
    const Fit::FitResult& r = ranked_[i];
    char quality[64];
    std::snprintf(quality, sizeof quality, byPoints ? "rms %.2f px" : "IoU %.4f",
                  byPoints ? r.rms : r.iou);
    auto* item = new QListWidgetItem(QString::fromStdString(r.name + " — " + quality), rankList_);
    item->setData(Qt::UserRole, static_cast<int>(i));
  }
  status_->setText(QStringLiteral("Best first: click a projection to take it with its settings."));
}

void FitPanel::Take(const Fit::FitResult& r) {
  apply_(r.settings);
  residuals_ = r.residuals;
  char text[160];
  if (!r.residuals.empty()) {
    int outliers = 0;
    for (const Fit::PointResidual& d : r.residuals) outliers += d.outlier;
    std::snprintf(text, sizeof text, "%s: rms %.2f px over %zu points%s (residuals drawn ×10)",
                  r.name.c_str(), r.rms, r.residuals.size(),
                  outliers ? ", outliers in magenta" : "");
  } else {
    std::snprintf(text, sizeof text, "%s: outline IoU %.4f", r.name.c_str(), r.iou);
  }
  status_->setText(QString::fromUtf8(text));
  Changed();
}

// A copy of the picture for the worker: the wizard may load another while the fit runs.
std::shared_ptr<const VideoBuffer> FitPanel::PictureCopy() const {
  auto copy = std::make_shared<VideoBuffer>();
  if (source_->HasStorage() && copy->Create(source_->width, source_->height) == 0) {
    std::memcpy(copy->pixels, source_->pixels, copy->ByteCount());
  }
  return copy;
}

void FitPanel::FitOutline() {
  jobInstances_.assign(1, *instance_);
  MapInstance* work = &jobInstances_.front();
  const std::shared_ptr<const VideoBuffer> source = PictureCopy();
  std::atomic<bool>* cancel = &cancelled_;
  Start([work, source, cancel] {
    Outcome o;
    Fit::Outline outline;
    Fit::FitResult r;
    o.status = Fit::DetectOutline(*source, &outline, &o.reason);
    if (o.status == Fit::kFitOk) {
      o.status = Fit::FitOutline(outline, work, {}, &r, &o.reason, cancel);
    }
    o.results.push_back(r);
    return o;
  });
}

void FitPanel::FitPoints() {
  jobInstances_.assign(1, *instance_);
  MapInstance* work = &jobInstances_.front();
  const std::vector<Fit::ControlPoint> points = ReadyPoints();
  const int w = source_->width, h = source_->height;
  Start([work, points, w, h] {
    Outcome o;
    Fit::FitResult r;
    o.status = Fit::FitPoints(points, w, h, work, {}, &r, &o.reason);
    o.results.push_back(r);
    return o;
  });
}

void FitPanel::Rank() {
  jobInstances_ = Fit::Candidates(*instance_);
  std::vector<MapInstance>* candidates = &jobInstances_;
  const std::vector<Fit::ControlPoint> points = ReadyPoints();
  const std::shared_ptr<const VideoBuffer> source =
      points.empty() ? PictureCopy() : std::make_shared<const VideoBuffer>();
  const int w = source_->width, h = source_->height;
  std::atomic<bool>* cancel = &cancelled_;
  Start([candidates, points, source, w, h, cancel] {
    Outcome o;
    Fit::Outline outline;
    if (points.empty()) o.status = Fit::DetectOutline(*source, &outline, &o.reason);
    if (o.status == Fit::kFitOk) {
      o.status = Fit::Rank(candidates, points, w, h, outline, {}, &o.results, &o.reason, cancel);
    }
    // A single ranked type would read as a plain fit.
    if (o.status == Fit::kFitOk && o.results.size() == 1) o.results.push_back(o.results.front());
    return o;
  });
}

std::vector<Fit::ControlPoint> FitPanel::ReadyPoints() const {
  std::vector<Fit::ControlPoint> ready;
  for (const Fit::ControlPoint& p : points_) {
    if (Ready(p)) ready.push_back(p);
  }
  return ready;
}

bool FitPanel::PictureAt(QPoint at, double* column, double* row) const {
  const QRect area = view_->geometry();
  if (!area.contains(at) || !source_->HasStorage()) return false;
  const QSize size = view_->BufferSize();
  const double ratio = view_->PixelRatio();
  // The view shows the picture stretched over its buffer, one pixel in from the frame.
  const double bx = (at.x() - area.x() - 1) * ratio, by = (at.y() - area.y() - 1) * ratio;
  *column = bx * source_->width / size.width();
  *row = by * source_->height / size.height();
  return *column >= 0 && *row >= 0 && *column <= source_->width && *row <= source_->height;
}

int FitPanel::PointAt(QPoint at) const {
  double column, row;
  if (!PictureAt(at, &column, &row)) return -1;
  const QSize size = view_->BufferSize();
  const double sx = size.width() / static_cast<double>(source_->width) / view_->PixelRatio();
  const double sy = size.height() / static_cast<double>(source_->height) / view_->PixelRatio();
  for (int i = static_cast<int>(points_.size()) - 1; i >= 0; --i) {
    if (std::fabs((points_[i].column - column) * sx) <= kGrabRadius &&
        std::fabs((points_[i].row - row) * sy) <= kGrabRadius) {
      return i;
    }
  }
  return -1;
}

bool FitPanel::MousePress(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  double column, row;
  if (!pointMode_->isChecked() || !PictureAt(at, &column, &row)) return false;
  const int hit = PointAt(at);
  if (event->button() == Qt::RightButton) {
    if (hit >= 0) {
      Select(hit);
      DeleteSelected();
    }
    return true;
  }
  if (event->button() != Qt::LeftButton) return false;
  if (hit < 0) {
    points_.push_back({column, row, std::nan(""), std::nan("")});
    residuals_.clear();
    Select(static_cast<int>(points_.size()) - 1);
    place_->setFocus();
  } else {
    Select(hit);
  }
  dragged_ = selected_;
  return true;
}

bool FitPanel::MouseMove(QMouseEvent* event) {
  if (dragged_ < 0) return false;
  double column, row;
  if (PictureAt(event->position().toPoint(), &column, &row)) {
    points_[dragged_].column = column, points_[dragged_].row = row;
    residuals_.clear();
    Changed();
  }
  return true;
}

bool FitPanel::MouseRelease(QMouseEvent* event) {
  (void)event;
  if (dragged_ < 0) return false;
  dragged_ = -1;
  return true;
}

void FitPanel::Select(int index) {
  selected_ = index;
  if (index >= 0 && index < static_cast<int>(points_.size()) && Ready(points_[index])) {
    place_->setText(QString::fromStdString(FormatSignificant(points_[index].latitude) + ", " +
                                           FormatSignificant(points_[index].longitude)));
  } else {
    place_->clear();
  }
  Changed();
}

void FitPanel::PlaceEdited() {
  double lat, lon;
  if (selected_ < 0 || selected_ >= static_cast<int>(points_.size())) return;
  if (!ParsePlace(place_->text(), &lat, &lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180) {
    status_->setText(
        QStringLiteral("Type the latitude (−90 to 90, north positive) and the "
                       "longitude (−180 to 180, east positive), e.g. 30.5, -20."));
    return;
  }
  points_[selected_].latitude = lat, points_[selected_].longitude = lon;
  residuals_.clear();
  status_->setText(QString::number(ReadyPoints().size()) + QStringLiteral(" points placed."));
  Changed();
}

void FitPanel::DeleteSelected() {
  if (selected_ < 0 || selected_ >= static_cast<int>(points_.size())) return;
  points_.erase(points_.begin() + selected_);
  residuals_.clear();
  Select(-1);
}

void FitPanel::Changed() { view_->update(); }

void FitPanel::DrawMarkers(VideoBuffer& display) const {
  if (!source_->HasStorage() || !display.HasStorage()) return;
  const double sx = static_cast<double>(display.width) / source_->width;
  const double sy = static_cast<double>(display.height) / source_->height;
  std::size_t ready = 0;
  for (std::size_t i = 0; i < points_.size(); ++i) {
    const Fit::ControlPoint& p = points_[i];
    const double x = p.column * sx, y = p.row * sy;
    const bool hasResidual = Ready(p) && ready < residuals_.size();
    const Fit::PointResidual* d = hasResidual ? &residuals_[ready] : nullptr;
    ready += Ready(p);
    const std::uint32_t colour = static_cast<int>(i) == selected_ ? kSelectedColour
                                 : d && d->outlier                ? kResidualColour
                                                                  : kPointColour;
    Line(display, x - kMarkerRadius, y, x + kMarkerRadius, y, colour);
    Line(display, x, y - kMarkerRadius, x, y + kMarkerRadius, colour);
    if (!Ready(p)) Line(display, x - 2, y - 2, x + 2, y + 2, colour);  // still without a place
    if (d) {
      Line(display, x, y, x + d->dx * sx * kResidualMagnification,
           y + d->dy * sy * kResidualMagnification, kResidualColour);
    }
  }
}
