// FitPanel: the fitting controls of the source projection page and their worker thread.
#include "app/fit_panel.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/source_view.h"
#include "app/text_exchange.h"

namespace {

constexpr QRgb kPointRgb = qRgb(255, 0, 0);
constexpr QRgb kSelectedRgb = qRgb(0, 255, 255);
constexpr QRgb kResidualRgb = qRgb(255, 0, 255);
constexpr double kResidualMagnification = 10;
constexpr double kMarkerRadius = 5;  // view pixels
constexpr double kGrabRadius = 6;    // view pixels around a marker that pick it

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

FitPanel::FitPanel(QObject* parent, QBoxLayout* panel, SourceView* view, const VideoBuffer* source,
                   MapInstance* instance, std::vector<Fit::ControlPoint>* points,
                   std::function<void(const MapSettings&)> apply)
    : QObject(parent),
      view_(view),
      source_(source),
      instance_(instance),
      points_(points),
      apply_(std::move(apply)) {
  auto* box = new QGroupBox(QStringLiteral("Fitting"));
  auto* grid = new QGridLayout(box);
  fitOutline_ = new QPushButton(QStringLiteral("Fit &Outline"));
  fitOutline_->setToolTip(QStringLiteral("Fit the chosen projection to the map's outline"));
  pointMode_ = new QPushButton(QStringLiteral("&Points"));
  pointMode_->setCheckable(true);
  pointMode_->setToolTip(QStringLiteral(
      "Left clicks in the map place control points (drag to move, right-click to delete)"));
  fitPoints_ = new QPushButton(QStringLiteral("Fit Po&ints"));
  rank_ = new QPushButton(QStringLiteral("Which Pro&jection?"));
  cancel_ = new QPushButton(QStringLiteral("Cancel"));
  cancel_->setEnabled(false);
  rankList_ = new QListWidget;
  rankList_->setToolTip(QStringLiteral("Best first; click a projection to take it"));
  // Long names lose their middle, so that the fit's quality stays in view.
  rankList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  rankList_->setTextElideMode(Qt::ElideMiddle);
  auto* caption = new QLabel(QStringLiteral("Poin&t lat, lon:"));
  place_ = new QLineEdit;
  place_->setPlaceholderText(QStringLiteral("e.g. 30.5, -20"));
  place_->setToolTip(
      QStringLiteral("Latitude and longitude of the selected point; Enter takes them"));
  caption->setBuddy(place_);
  delete_ = new QPushButton(QStringLiteral("&Delete Point"));
  status_ = new QLabel;
  status_->setWordWrap(true);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setMinimumHeight(4 * status_->fontMetrics().height());

  grid->addWidget(fitOutline_, 0, 0);
  grid->addWidget(pointMode_, 0, 1);
  grid->addWidget(fitPoints_, 1, 0);
  grid->addWidget(rank_, 1, 1);
  grid->addWidget(rankList_, 2, 0, 1, 2);
  grid->addWidget(cancel_, 3, 1);
  grid->addWidget(caption, 4, 0, 1, 2);
  grid->addWidget(place_, 5, 0, 1, 2);
  grid->addWidget(delete_, 6, 1);
  grid->addWidget(status_, 7, 0, 1, 2);
  grid->setRowStretch(2, 1);
  box->setFixedWidth(std::max(220, 26 * box->fontMetrics().averageCharWidth()));
  panel->addWidget(box);

  view_->installEventFilter(this);
  view_->SetOverlay([this](QPainter& painter) { DrawMarkers(painter); });

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
    item->setToolTip(item->text());
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
  const std::shared_ptr<const VideoBuffer> source = PictureCopy();
  const int w = source_->width, h = source_->height;
  Start([work, points, source, w, h] {
    Outcome o;
    Fit::FitResult r;
    // The outline places the map where it helps; without one the points work alone.
    Fit::Outline outline;
    std::string ignored;
    if (Fit::DetectOutline(*source, &outline, &ignored) != Fit::kFitOk) outline = Fit::Outline{};
    o.status = Fit::FitPointsAndOutline(points, w, h, outline, work, {}, &r, &o.reason);
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
  for (const Fit::ControlPoint& p : (*points_)) {
    if (Ready(p)) ready.push_back(p);
  }
  return ready;
}

// The view's source pixels are the points' picture pixels: pixel (i, j) covers [i, i + 1) x
// [j, j + 1), so its centre is at i + 0.5, j + 0.5.
bool FitPanel::PictureAt(QPointF at, double* column, double* row) const {
  const QSize size = view_->SourceSize();
  if (size.isEmpty() || !source_->HasStorage()) return false;
  const QPointF p = view_->ToSource(at);
  *column = p.x(), *row = p.y();
  return *column >= 0 && *row >= 0 && *column <= size.width() && *row <= size.height();
}

int FitPanel::PointAt(QPointF at) const {
  for (int i = static_cast<int>(points_->size()) - 1; i >= 0; --i) {
    const QPointF d = view_->ToView(QPointF((*points_)[i].column, (*points_)[i].row)) - at;
    if (std::fabs(d.x()) <= kGrabRadius && std::fabs(d.y()) <= kGrabRadius) return i;
  }
  return -1;
}

bool FitPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched != view_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      return MousePress(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
      return MouseMove(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
      return MouseRelease(static_cast<QMouseEvent*>(event));
    default:
      return false;
  }
}

bool FitPanel::MousePress(QMouseEvent* event) {
  if (!pointMode_->isChecked()) return false;
  const QPointF at = event->position();
  const int hit = PointAt(at);
  // A right click on a point deletes it; elsewhere the right and middle buttons pan as always.
  if (event->button() == Qt::RightButton && hit >= 0) {
    Select(hit);
    DeleteSelected();
    return true;
  }
  if (event->button() != Qt::LeftButton) return false;
  // The left button never moves the map in point mode; off the picture it does nothing.
  double column, row;
  if (hit >= 0) {
    Select(hit);
  } else if (PictureAt(at, &column, &row)) {
    points_->push_back({column, row, std::nan(""), std::nan("")});
    residuals_.clear();
    Select(static_cast<int>(points_->size()) - 1);
    place_->setFocus();
  } else {
    return true;
  }
  dragged_ = selected_;
  return true;
}

bool FitPanel::MouseMove(QMouseEvent* event) {
  if (dragged_ < 0) return false;
  double column, row;
  if (PictureAt(event->position(), &column, &row)) {
    (*points_)[dragged_].column = column, (*points_)[dragged_].row = row;
    residuals_.clear();
    Changed();
  }
  return true;
}

bool FitPanel::MouseRelease(QMouseEvent* event) {
  if (dragged_ < 0) return false;  // the view ends what it started
  if (event->button() == Qt::LeftButton) dragged_ = -1;
  return true;
}

void FitPanel::Select(int index) {
  selected_ = index;
  if (index >= 0 && index < static_cast<int>(points_->size()) && Ready((*points_)[index])) {
    place_->setText(QString::fromStdString(FormatSignificant((*points_)[index].latitude) + ", " +
                                           FormatSignificant((*points_)[index].longitude)));
  } else {
    place_->clear();
  }
  Changed();
}

void FitPanel::PlaceEdited() {
  double lat = 0, lon = 0;
  if (selected_ < 0 || selected_ >= static_cast<int>(points_->size())) return;
  if (!ParsePlace(place_->text(), &lat, &lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180) {
    status_->setText(
        QStringLiteral("Type the latitude (−90 to 90, north positive) and the "
                       "longitude (−180 to 180, east positive), e.g. 30.5, -20."));
    return;
  }
  (*points_)[selected_].latitude = lat, (*points_)[selected_].longitude = lon;
  residuals_.clear();
  status_->setText(QString::number(ReadyPoints().size()) + QStringLiteral(" points placed."));
  Changed();
}

void FitPanel::DeleteSelected() {
  if (selected_ < 0 || selected_ >= static_cast<int>(points_->size())) return;
  points_->erase(points_->begin() + selected_);
  residuals_.clear();
  Select(-1);
}

void FitPanel::Changed() { view_->update(); }

void FitPanel::DrawMarkers(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing);
  // Residuals belong to the points they were fitted to (a settings file may have replaced them).
  const bool fitted = residuals_.size() == ReadyPoints().size();
  std::size_t ready = 0;
  for (std::size_t i = 0; i < points_->size(); ++i) {
    const Fit::ControlPoint& p = (*points_)[i];
    const QPointF at = view_->ToView(QPointF(p.column, p.row));
    const bool hasResidual = fitted && Ready(p) && ready < residuals_.size();
    const Fit::PointResidual* d = hasResidual ? &residuals_[ready] : nullptr;
    ready += Ready(p);
    const QColor colour(static_cast<int>(i) == selected_ ? kSelectedRgb
                        : d && d->outlier                ? kResidualRgb
                                                         : kPointRgb);
    // A dark halo keeps the markers visible over any map.
    for (const auto& [pen, width] : {std::pair{QColor(0, 0, 0, 160), 4.0}, {colour, 2.0}}) {
      painter.setPen(QPen(pen, width, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(at - QPointF(kMarkerRadius, 0), at + QPointF(kMarkerRadius, 0));
      painter.drawLine(at - QPointF(0, kMarkerRadius), at + QPointF(0, kMarkerRadius));
      if (!Ready(p)) {  // still without a place
        painter.drawLine(at - QPointF(3, 3), at + QPointF(3, 3));
      }
      if (d) {
        const QPointF end = view_->ToView(QPointF(p.column + d->dx * kResidualMagnification,
                                                  p.row + d->dy * kResidualMagnification));
        painter.setPen(
            QPen(width > 2 ? pen : QColor(kResidualRgb), width, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(at, end);
      }
    }
  }
}
