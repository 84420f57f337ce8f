// PageSource: projection list, parameter edits, dragging, and the two live previews.
#include "app/page_source.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <cstring>
#include <string>

#include "app/graticule.h"
#include "app/preview_frame.h"
#include "app/text_exchange.h"
#include "app/video_display.h"
#include "app/wizard_prompts.h"
#include "projection/map_project.h"
#include "engine/reproject.h"
#include "registry/projection_registry.h"

namespace {

constexpr double kFitOffsetX = 0.00001;
constexpr double kAspectGuard = 0.0001;  // keeps the vertical factor defined at aspect 0

QString YesNo(bool value) { return value ? QStringLiteral("Yes") : QStringLiteral("No"); }

// A label that ends a text too long for it with "..." instead of cutting it off mid-letter; the
// text itself stays whole (and goes into the tooltip).
class ElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.drawText(area, static_cast<int>(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
  }
};

}  // namespace

PageSource::PageSource(VideoBuffer* source, MapInstance* instance, WizardPrompts* prompts)
    : source_(source), instance_(instance), prompts_(prompts) {
  setTitle(QStringLiteral("Select Source Projection"));
  auto rect = [this](int x, int y, int width, int height) {
    return DialogRect(*this, x, y, width, height);
  };
  // Labels a little taller than their dialog-unit box, so that descenders never clip.
  auto label = [&](const QString& text, int x, int y, int width, Qt::Alignment align) {
    QLabel* widget = new ElidedLabel(text, this);
    widget->setGeometry(rect(x, y, width, 8).adjusted(0, -3, 0, 3));
    widget->setAlignment(align | Qt::AlignVCenter);
    return widget;
  };

  (new QGroupBox(QStringLiteral("Map Projection"), this))->setGeometry(rect(7, 7, 142, 105));
  list_ = new QListWidget(this);
  list_->setGeometry(rect(14, 19, 128, 88));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Long names end in "..." (their tooltip has them whole) rather than scroll sideways.
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setTextElideMode(Qt::ElideRight);

  (new QGroupBox(QStringLiteral("Settings"), this))->setGeometry(rect(7, 114, 141, 165));
  const Qt::Alignment right = Qt::AlignRight;
  // Values start further left than their captions' dialog units suggest: type words are long.
  label(QStringLiteral("Name:"), 10, 124, 49, right);
  label(QStringLiteral("Type:"), 10, 136, 49, right);
  label(QStringLiteral("Conformal:"), 10, 148, 49, right);
  label(QStringLiteral("Equal-Area:"), 10, 160, 49, right);
  label(QStringLiteral("Perspective:"), 10, 172, 49, right);
  name_ = label(QString(), 61, 124, 85, Qt::AlignLeft);
  type_ = label(QString(), 61, 136, 85, Qt::AlignLeft);
  conformal_ = label(QString(), 61, 148, 30, Qt::AlignLeft);
  equalArea_ = label(QString(), 61, 160, 30, Qt::AlignLeft);
  perspective_ = label(QString(), 61, 172, 30, Qt::AlignLeft);

  static const char* const kEditLabels[kFieldCount] = {
      "Lat:", "Lon:", "X Ofs:", "Y Ofs:", "Scale:", "Aspect"};
  for (int field = 0; field < kFieldCount; ++field) {
    const int y = 186 + 15 * field;
    QLabel* caption = label(QString::fromLatin1(kEditLabels[field]), 12, y + 2, 38, right);
    edits_[field] = new QLineEdit(this);
    edits_[field]->setGeometry(rect(53, y, 50, 12));
    caption->setBuddy(edits_[field]);
    connect(edits_[field], &QLineEdit::textChanged, this, [this, field] { EditChanged(field); });
  }

  fit_ = new QPushButton(QStringLiteral("&Fit"), this);
  fit_->setGeometry(rect(157, 4, 22, 12));
  centre_ = new QPushButton(QStringLiteral("&Center Of Projection"), this);
  centre_->setCheckable(true);
  centre_->setGeometry(rect(234, 4, 89, 12));
  zoomIn_ = new QPushButton(QStringLiteral("+"), this);
  zoomIn_->setGeometry(rect(381, 4, 10, 12));
  zoomOut_ = new QPushButton(QStringLiteral("-"), this);
  zoomOut_->setGeometry(rect(393, 4, 10, 12));

  sourceView_ = new PreviewFrame(this, &display_, QPoint(1, 1));
  sourceView_->setGeometry(rect(157, 17, 246, 244));
  resultView_ = new PreviewFrame(this, &result_, QPoint(0, 0));
  resultView_->setGeometry(rect(408, 79, 246, 122));
  sourceView_->SetBeforePaint([this] { RenderPending(); });
  resultView_->SetBeforePaint([this] { RenderPending(); });
  setMinimumSize(rect(0, 0, 661, 287).size());

  connect(fit_, &QPushButton::clicked, this, [this] { Fit(); });
  connect(zoomIn_, &QPushButton::clicked, this, [this] { Zoom(0.5); });
  connect(zoomOut_, &QPushButton::clicked, this, [this] { Zoom(2.0); });
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  connect(centre_, &QPushButton::clicked, this, [this] { ExchangeFromControls(); });
}

PageSource::~PageSource() {
  display_.Release();
  background_.Release();
}

void PageSource::initializePage() {
  values_[kScale] = instance_->scale;
  values_[kAspect] = instance_->aspect;
  values_[kOffsetX] = instance_->offsetX / instance_->unitFactor;
  values_[kOffsetY] = instance_->offsetY / instance_->unitFactor;
  values_[kLat] = instance_->centerLat;
  values_[kLon] = instance_->centerLon;

  centre_->setChecked(centreMode_ != 0);
  for (int field = 0; field < kFieldCount; ++field) {
    edits_[field]->setText(QString::fromStdString(FormatSignificant(values_[field])));
  }

  const QSize resultSize = resultView_->BufferSize();
  result_.Create(resultSize.width(), resultSize.height());
  const QSize sourceSize = sourceView_->BufferSize();
  display_.Create(sourceSize.width(), sourceSize.height());
  background_.Create(sourceSize.width(), sourceSize.height());
  background_.Fill(ColourWord(palette().color(QPalette::Button)));
  if (source_->HasStorage() && background_.HasStorage()) Resample(*source_, background_);

  FillList();

  // The display's shorter side in the mouse's logical pixels (the buffer may have more pixels on a
  // dense screen).
  dragSpanX_ = dragSpanY_ = std::max(1, std::min(sourceView_->width(), sourceView_->height()));

  ApplySettings();
  RefreshFields();
}

void PageSource::FillList() {
  // Only the user's choices change the projection; filling and the first selection do not.
  const QSignalBlocker quiet(list_);
  list_->clear();
  // Sorted without regard to case; item data carry the type code, so order may follow names.
  ProjectionRegistry& registry = GetProjectionRegistry();
  for (int code = registry.First(); code != ProjectionRegistry::kEnd; code = registry.Next(code)) {
    const QString name = QString::fromStdString(registry.GetSlotName(code));
    int row = 0;
    while (row < list_->count() &&
           QString::compare(list_->item(row)->text(), name, Qt::CaseInsensitive) <= 0) {
      ++row;
    }
    auto* item = new QListWidgetItem(name);
    item->setData(Qt::UserRole, code);
    item->setToolTip(name);
    list_->insertItem(row, item);
  }
  const QString current = QString::fromLatin1(instance_->GetName());
  for (int row = 0; row < list_->count(); ++row) {
    if (list_->item(row)->text().startsWith(current, Qt::CaseInsensitive)) {
      list_->setCurrentRow(row);
      break;
    }
  }
}

bool PageSource::validatePage() { return ExchangeFromControls(); }

bool PageSource::ExchangeFromControls() {
  centreMode_ = centre_->isChecked() ? 1 : 0;
  for (int field = 0; field < kFieldCount; ++field) {
    const std::optional<double> value = ParseDouble(edits_[field]->text().toStdString());
    if (!value) {
      prompts_->ShowMessage(this, QStringLiteral("Enter a number."));
      edits_[field]->setFocus();
      edits_[field]->selectAll();
      return false;
    }
    values_[field] = *value;
  }
  return true;
}

void PageSource::ApplySettings() {
  instance_->scale = values_[kScale];
  instance_->aspect = values_[kAspect];
  instance_->SetCenter(values_[kLat], values_[kLon]);
  instance_->SetOffset(values_[kOffsetX], values_[kOffsetY]);
  resultStale_ = true;
  Redraw();
}

void PageSource::Redraw() {
  displayStale_ = true;
  sourceView_->update();
  resultView_->update();
}

void PageSource::RenderPending() {
  if (resultStale_ && source_->HasStorage() && result_.HasStorage()) {
    // The live view samples without the footprint pyramid, which would be rebuilt from the whole
    // source at every drag; the export averages.
    SamplingOptions live;
    live.antialias = false;
    Reproject(*source_, *instance_, result_, nullptr, {}, live);
    resultStale_ = false;
  }
  if (displayStale_ && display_.HasStorage() && background_.HasStorage()) {
    std::memcpy(display_.pixels, background_.pixels, display_.ByteCount());
    DrawGraticule(display_, *instance_);
    displayStale_ = false;
  }
}

void PageSource::RefreshFields() {
  name_->setText(QString::fromLatin1(instance_->GetName()));
  name_->setToolTip(name_->text());
  const std::int32_t flags = instance_->GetFlags();
  std::string words;
  Projection::FormatTypeFlags(flags & 0xFF, &words);
  type_->setText(QString::fromStdString(words));
  type_->setToolTip(type_->text().trimmed());
  conformal_->setText(YesNo(flags & Projection::MAP_CONFORMAL));
  equalArea_->setText(YesNo(flags & Projection::MAP_EQUAL_AREA));
  perspective_->setText(YesNo(flags & Projection::MAP_PERSPECTIVE));

  // Each write runs the edit's change handler, which reads the rounded value back and applies it,
  // so every value is taken just before its own write. The centre comes from the instance (folded
  // over the poles), the rest from the page.
  for (int field = 0; field < kFieldCount; ++field) {
    const double shown = field == kLat   ? instance_->centerLat
                         : field == kLon ? instance_->centerLon
                                         : values_[field];
    edits_[field]->setText(QString::fromStdString(FormatFixed(shown, 4)));
  }
}

void PageSource::EditChanged(int field) {
  if (editGuard_) return;
  editGuard_ = true;
  if (const std::optional<float> value = ScanFloat(edits_[field]->text().toStdString())) {
    values_[field] = static_cast<double>(*value);
    ApplySettings();
    Redraw();
  }
  for (int other = 0; other < kFieldCount; ++other) {
    if (other != field) {
      edits_[other]->setText(QString::fromStdString(FormatFixed(values_[other], 5)));
    }
  }
  editGuard_ = false;
}

void PageSource::SelectionChanged() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  instance_->Select(selected.first()->data(Qt::UserRole).toInt());
  ApplySettings();
  Redraw();
  RefreshFields();
}

void PageSource::Fit() {
  values_[kScale] = 1;
  values_[kAspect] = 1;
  values_[kOffsetX] = kFitOffsetX;
  values_[kOffsetY] = 0;
  values_[kLat] = 0;
  values_[kLon] = 0;
  ApplySettings();
  Redraw();
  RefreshFields();
}

void PageSource::Zoom(double factor) {
  values_[kScale] = instance_->scale * factor;
  ApplySettings();
  Redraw();
  RefreshFields();
}

void PageSource::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || dragging_ ||
      !sourceView_->geometry().contains(event->position().toPoint())) {
    QWizardPage::mousePressEvent(event);
    return;
  }
  dragging_ = true;
  press_ = event->position().toPoint();
  latAtPress_ = instance_->centerLat;
  lonAtPress_ = instance_->centerLon;
  offsetXAtPress_ = instance_->offsetX / instance_->unitFactor;
  offsetYAtPress_ = instance_->offsetY / instance_->unitFactor;
}

void PageSource::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) {
    QWizardPage::mouseMoveEvent(event);
    return;
  }
  const QPoint at = event->position().toPoint();
  const int dx = at.x() - press_.x();
  const int dy = at.y() - press_.y();
  const double a = dx / (dragSpanX_ * instance_->scale);
  const double b = dy / dragSpanY_ * (instance_->aspect + kAspectGuard) / instance_->scale;
  if (centreMode_) {
    values_[kLat] = latAtPress_ + 180 * b;
    values_[kLon] = lonAtPress_ - 360 * a;
  } else {
    values_[kOffsetX] = offsetXAtPress_ + 2 * a;
    values_[kOffsetY] = offsetYAtPress_ + 2 * b;
  }
  ApplySettings();
  Redraw();
  RefreshFields();
}

void PageSource::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_ || event->button() != Qt::LeftButton) {
    QWizardPage::mouseReleaseEvent(event);
    return;
  }
  dragging_ = false;
  if (event->modifiers() & Qt::ShiftModifier) {
    values_[kLat] = latAtPress_;
    values_[kLon] = lonAtPress_;
    values_[kOffsetX] = offsetXAtPress_;
    values_[kOffsetY] = offsetYAtPress_;
    ApplySettings();
  }
}
