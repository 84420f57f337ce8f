// PageSource: projection list, parameter edits, the zoomable source view with its drags, and the
// equirectangular result.
#include "app/page_source.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string>

#include "app/fit_panel.h"
#include "app/preview_frame.h"
#include "app/recognize_action.h"
#include "app/source_view.h"
#include "app/text_exchange.h"
#include "app/wizard_prompts.h"
#include "engine/reproject.h"
#include "engine/resolution.h"
#include "projection/map_project.h"
#include "registry/map_settings.h"
#include "registry/projection_registry.h"

namespace {

constexpr double kAspectGuard = 0.0001;  // keeps the vertical factor defined at aspect 0
constexpr double kDragDecimals = 1e4;    // dragged values keep four decimals, as typed ones would
constexpr double kFoundDecimals = 1e6;   // fitted and recognised values keep six

using SettingsFields::IsSingle;
using SettingsFields::Single;

// Values the page works out itself keep four decimals, in single precision, as typed ones would.
double FourDecimals(double v) { return Single(std::round(v * kDragDecimals) / kDragDecimals); }

// Found values (fits, recognitions) to six decimals.
double Tidy(double v) { return std::round(v * kFoundDecimals) / kFoundDecimals; }

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

PageSource::PageSource(VideoBuffer* source, MapInstance* instance,
                       std::vector<Fit::ControlPoint>* points, WizardPrompts* prompts)
    : source_(source), instance_(instance), prompts_(prompts) {
  setTitle(QStringLiteral("Select Source Projection"));
  setSubTitle(QStringLiteral(
      "Pick the projection the map is drawn in and line the graticule up with it: type the "
      "values or drag in the map."));

  // Left: the projection list (searchable) and the settings.
  auto* projectionBox = new QGroupBox(QStringLiteral("Map Projection"));
  auto* projectionLayout = new QVBoxLayout(projectionBox);
  search_ = new QLineEdit;
  search_->setPlaceholderText(QStringLiteral("Search projections"));
  search_->setClearButtonEnabled(true);
  list_ = new QListWidget;
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setTextElideMode(Qt::ElideRight);
  list_->setMinimumHeight(12 * list_->fontMetrics().height());
  projectionLayout->addWidget(search_);
  projectionLayout->addWidget(list_, 1);

  auto* settingsBox = new QGroupBox(QStringLiteral("Settings"));
  auto* form = new QFormLayout(settingsBox);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  auto value = [&](const QString& caption) {
    QLabel* label = new ElidedLabel;
    form->addRow(caption, label);
    return label;
  };
  name_ = value(QStringLiteral("Name:"));
  type_ = value(QStringLiteral("Type:"));
  conformal_ = value(QStringLiteral("Conformal:"));
  equalArea_ = value(QStringLiteral("Equal-Area:"));
  perspective_ = value(QStringLiteral("Perspective:"));
  static const char* const kEditLabels[kFieldCount] = {"Latit&ude (\u00B0N):",
                                                       "Lon&gitude (\u00B0E):",
                                                       "&X offset (right):",
                                                       "&Y offset (up):",
                                                       "Scal&e:",
                                                       "&Aspect:",
                                                       "Parallel &1 (\u00B0N):",
                                                       "Parallel &2 (\u00B0N):"};
  for (int field = 0; field < kFieldCount; ++field) {
    edits_[field] = new QLineEdit;
    form->addRow(QString::fromUtf8(kEditLabels[field]), edits_[field]);
    connect(edits_[field], &QLineEdit::textChanged, this, [this, field] { EditChanged(field); });
  }
  edits_[kLat]->setToolTip(QStringLiteral("Centre of projection, degrees north (negative: south)"));
  edits_[kLon]->setToolTip(QStringLiteral("Centre of projection, degrees east (negative: west)"));
  edits_[kParallel1]->setToolTip(
      QStringLiteral("Standard parallels (enabled for the projections that use them)"));
  edits_[kParallel2]->setToolTip(edits_[kParallel1]->toolTip());
  refusal_ = new QLabel;
  refusal_->setWordWrap(true);
  refusal_->setStyleSheet(QStringLiteral("color: #b00020"));
  refusal_->hide();
  form->addRow(refusal_);

  auto* left = new QVBoxLayout;
  left->addWidget(projectionBox, 1);
  left->addWidget(settingsBox);
  auto* leftPanel = new QWidget;
  leftPanel->setLayout(left);
  left->setContentsMargins(0, 0, 0, 0);
  leftPanel->setFixedWidth(std::max(240, 22 * fontMetrics().averageCharWidth()));

  // Right: the tool row, the source view and the result.
  fit_ = new QPushButton(QStringLiteral("&Fit"));
  fit_->setToolTip(QStringLiteral(
      "Centre and offsets to 0, scale and aspect so that the map fills the picture"));
  recognize_ = new RecognizeAction(this, source_,
                                   [this](const MapSettings& found) { TakeSettings(found); });
  centre_ = new QPushButton(QStringLiteral("&Center Of Projection"));
  centre_->setCheckable(true);
  centre_->setToolTip(QStringLiteral("Dragging turns the globe instead of moving the map"));
  zoomIn_ = new QPushButton(QStringLiteral("Scale \u00F72"));
  zoomIn_->setToolTip(QStringLiteral("Halve the map's scale"));
  zoomOut_ = new QPushButton(QStringLiteral("Scale \u00D72"));
  zoomOut_->setToolTip(QStringLiteral("Double the map's scale"));
  auto* whole = new QPushButton(QStringLiteral("&Whole"));
  whole->setToolTip(QStringLiteral("Show the whole picture (key 0 in the view)"));
  auto* oneToOne = new QPushButton(QStringLiteral("1:1"));
  oneToOne->setToolTip(QStringLiteral("One picture pixel per screen pixel (key 1 in the view)"));
  spacing_ = new QComboBox;
  for (const int degrees : {30, 15, 10, 5}) {
    spacing_->addItem(QStringLiteral("%1\u00B0").arg(degrees), degrees);
  }
  spacing_->setToolTip(QStringLiteral("Spacing of the graticule's lines"));
  opacity_ = new QSlider(Qt::Horizontal);
  opacity_->setRange(0, 100);
  opacity_->setValue(100);
  opacity_->setMinimumWidth(60);  // a crowded row must not squeeze it away
  opacity_->setMaximumWidth(90);
  opacity_->setToolTip(QStringLiteral("Opacity of the graticule"));

  toolRow_ = new QHBoxLayout;
  for (QWidget* widget :
       std::initializer_list<QWidget*>{fit_, recognize_->Button(), centre_, zoomIn_, zoomOut_}) {
    toolRow_->addWidget(widget);
  }
  toolRow_->addSpacing(12);
  toolRow_->addWidget(whole);
  toolRow_->addWidget(oneToOne);
  toolRow_->addSpacing(12);
  toolRow_->addWidget(new QLabel(QStringLiteral("Graticule:")));
  toolRow_->addWidget(spacing_);
  toolRow_->addWidget(opacity_);
  toolRow_->addStretch(1);

  sourceView_ = new SourceView(nullptr, instance_);
  sourceView_->SetDragHandlers({[this] { DragStart(); }, [this](QPointF delta) { DragMove(delta); },
                                [this](bool cancelled) { DragEnd(cancelled); }});
  resultView_ = new PreviewFrame(nullptr, &result_, QPoint(0, 0));
  resultView_->setMinimumSize(160, 80);
  resultView_->setToolTip(QStringLiteral("The whole world as the export will show it"));
  resultView_->SetBeforePaint([this] { RenderPending(); });
  // Above each other: world maps are wide, so both get the page's width.
  auto* views = new QSplitter(Qt::Vertical);
  views->addWidget(sourceView_);
  views->addWidget(resultView_);
  views->setChildrenCollapsible(false);
  for (QWidget* grows : std::initializer_list<QWidget*>{sourceView_, resultView_, views}) {
    grows->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }
  views->setStretchFactor(0, 3);
  views->setStretchFactor(1, 2);

  sidePanel_ = new QVBoxLayout;
  auto* viewsRow = new QHBoxLayout;
  viewsRow->addWidget(views, 1);
  viewsRow->addLayout(sidePanel_);
  auto* right = new QVBoxLayout;
  right->addLayout(toolRow_);
  right->addLayout(viewsRow, 1);
  right->addWidget(recognize_->Status());

  auto* page = new QHBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 0);
  page->addWidget(leftPanel);
  page->addLayout(right, 1);
  fitPanel_ = new FitPanel(this, sidePanel_, sourceView_, source_, instance_, points,
                           [this](const MapSettings& settings) { TakeSettings(settings); });

  connect(fit_, &QPushButton::clicked, this, [this] { Fit(); });
  connect(zoomIn_, &QPushButton::clicked, this, [this] { Zoom(0.5); });
  connect(zoomOut_, &QPushButton::clicked, this, [this] { Zoom(2.0); });
  connect(whole, &QPushButton::clicked, sourceView_, [this] { sourceView_->ShowWhole(); });
  connect(oneToOne, &QPushButton::clicked, sourceView_, [this] { sourceView_->ZoomOneToOne(); });
  connect(spacing_, &QComboBox::currentIndexChanged, this,
          [this] { sourceView_->SetSpacing(spacing_->currentData().toInt()); });
  connect(opacity_, &QSlider::valueChanged, this,
          [this](int percent) { sourceView_->SetOpacity(percent / 100.0); });
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) { Filter(text); });
  // Enter in the search field takes the first projection left in the list whose name starts
  // with the text ("moll": Mollweide, not Interrupted Mollweide), else the first one left.
  connect(search_, &QLineEdit::returnPressed, this, [this] {
    int first = -1;
    for (int row = 0; row < list_->count(); ++row) {
      if (list_->item(row)->isHidden()) continue;
      if (list_->item(row)->text().startsWith(search_->text().trimmed(), Qt::CaseInsensitive)) {
        first = row;
        break;
      }
      if (first < 0) first = row;
    }
    if (first >= 0) list_->setCurrentRow(first);
  });
}

PageSource::~PageSource() = default;

void PageSource::initializePage() {
  FillList();
  SourceChanged();
  ShowInstance();
}

void PageSource::SourceChanged() {
  sourceView_->SetSource(*source_);
  resultStale_ = true;
  resultView_->update();
}

void PageSource::ShowInstance() {
  const MapSettings s = SettingsOf(*instance_);
  values_ = SettingsFields::ValuesOf(s);
  SelectInList(instance_->typeCode);
  ApplyValues();
  RefreshFields();
}

void PageSource::SelectInList(int typeCode) {
  const QSignalBlocker quiet(list_);
  for (int row = 0; row < list_->count(); ++row) {
    if (list_->item(row)->data(Qt::UserRole).toInt() == typeCode) {
      list_->setCurrentRow(row);
      break;
    }
  }
  // A type found by a fit, Recognise or a settings file may be one the search hides: show it.
  if (list_->currentItem() && list_->currentItem()->isHidden()) search_->clear();
  if (list_->currentItem()) list_->scrollToItem(list_->currentItem());
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
  Filter(search_->text());  // the search typed still narrows the refilled list
}

void PageSource::Filter(const QString& text) {
  const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  for (int row = 0; row < list_->count(); ++row) {
    QListWidgetItem* item = list_->item(row);
    bool shown = true;
    for (const QString& word : words) shown &= item->text().contains(word, Qt::CaseInsensitive);
    item->setHidden(!shown);
  }
}

bool PageSource::validatePage() { return ExchangeFromControls(); }

bool PageSource::ExchangeFromControls() {
  for (int field = 0; field < kFieldCount; ++field) {
    const std::optional<double> value =
        SettingsFields::Read(field, edits_[field]->text().toStdString());
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

void PageSource::ApplyValues() {
  const MapSettings s = SettingsFields::SettingsFrom(instance_->typeCode, values_);
  // A projection that refuses the values keeps its previous ones: the map would silently stay.
  const bool refused = ::ApplySettings(s, instance_) != 0;
  refusal_->setText(refused ? QStringLiteral("%1 refuses these values and keeps its previous "
                                             "settings.")
                                  .arg(QString::fromLatin1(instance_->GetName()))
                            : QString());
  refusal_->setVisible(refused);
  // What a recognition said describes the settings it found, not the ones changed since.
  if (recognize_) recognize_->Status()->clear();
  resultStale_ = true;
  Redraw();
}

void PageSource::Redraw() {
  sourceView_->MapChanged();
  resultView_->update();
}

void PageSource::RenderPending() {
  // The result shows the whole 2:1 world, as large as the frame allows, centred in it.
  const QSize frame = resultView_->BufferSize();
  const int width = std::max(2, std::min(frame.width(), 2 * frame.height()) - 2);
  const int height = std::max(1, width / 2);
  if (result_.width != width || result_.height != height) {
    result_.Create(width, height);
    resultStale_ = true;
    const qreal ratio = resultView_->PixelRatio();
    resultView_->SetOffset(QPoint(qRound((frame.width() - width) / 2 / ratio),
                                  qRound((frame.height() - height) / 2 / ratio)));
  }
  if (resultStale_ && result_.HasStorage()) {
    if (source_->HasStorage()) {
      // The live view samples without the footprint pyramid, which would be rebuilt from the
      // whole source at every drag; the export averages.
      SamplingOptions live;
      live.antialias = false;
      Reproject(*source_, *instance_, result_, nullptr, {}, live);
    } else {
      result_.Fill(0);
    }
    resultStale_ = false;
  }
}

void PageSource::RefreshFields() {
  name_->setText(QString::fromLatin1(instance_->GetName()));
  name_->setToolTip(name_->text());
  const std::int32_t flags = instance_->GetFlags();
  std::string words;
  Projection::FormatTypeFlags(flags & 0xFF, &words);
  type_->setText(QString::fromStdString(words).trimmed());
  type_->setToolTip(type_->text());
  conformal_->setText(YesNo(flags & Projection::MAP_CONFORMAL));
  equalArea_->setText(YesNo(flags & Projection::MAP_EQUAL_AREA));
  perspective_->setText(YesNo(flags & Projection::MAP_PERSPECTIVE));
  const bool parallels = UsesParallels(*instance_);
  edits_[kParallel1]->setEnabled(parallels);
  edits_[kParallel2]->setEnabled(parallels);

  // The edits show exactly the values the map is made with (the centre as the instance folded
  // it over the poles); writing them changes nothing.
  const MapSettings s = SettingsOf(*instance_);
  values_[kLat] = Single(s.centerLat);
  values_[kLon] = Single(s.centerLon);
  const bool guarded = editGuard_;
  editGuard_ = true;
  for (int field = 0; field < kFieldCount; ++field) {
    edits_[field]->setText(SettingsFields::Text(field, values_[field]));
  }
  editGuard_ = guarded;
}

void PageSource::EditChanged(int field) {
  if (editGuard_) return;
  const std::string text = edits_[field]->text().toStdString();
  std::optional<double> value;
  if (IsSingle(field)) {
    if (const std::optional<float> single = ScanFloat(text)) value = *single;
  } else {
    value = ParseDouble(text);
  }
  if (!value) return;
  values_[field] = *value;
  ApplyValues();
}

void PageSource::SelectionChanged() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  const bool made = instance_->Select(selected.first()->data(Qt::UserRole).toInt()) == 0;
  ApplyValues();
  RefreshFields();
  // The instance keeps what it had when the projection refuses the values (a degenerate cone,
  // say), and falls back to the equirectangular projection when none could be made: say so.
  if (!made) {
    prompts_->ShowMessage(this, QStringLiteral("The projection could not be created; the map is "
                                               "shown as Equirectangular instead."));
  } else if (instance_->Apply() != 0) {
    prompts_->ShowMessage(
        this, QStringLiteral("%1 refuses the standard parallels %2, %3 and keeps its previous "
                             "settings.")
                  .arg(QString::fromLatin1(instance_->GetName()))
                  .arg(NorthPositiveLatitude(instance_->parallel1))
                  .arg(NorthPositiveLatitude(instance_->parallel2)));
  }
}

void PageSource::Fit() {
  // Centre and offsets to 0; then the whole map fills the picture (a projection that cannot be
  // measured gets scale and aspect 1).
  values_[kOffsetX] = 0;
  values_[kOffsetY] = 0;
  values_[kLat] = 0;
  values_[kLon] = 0;
  ApplyValues();
  double reachX = 0, reachY = 0;
  const bool measured = MapReach(*instance_, &reachX, &reachY);
  values_[kScale] = measured ? FourDecimals(1 / reachX) : 1;
  values_[kAspect] = measured ? FourDecimals(reachY / reachX) : 1;
  ApplyValues();
  RefreshFields();
}

void PageSource::TakeSettings(const MapSettings& settings) {
  SelectInList(settings.typeCode);
  instance_->Select(settings.typeCode);
  // Held as the edits hold typed values, so that the export equals the command line's; without
  // the digits of the solver's noise (1e-14 degrees, 1e-6 user units is a thousandth of a pixel
  // on a 2000-pixel map), which only make the values hard to read.
  values_[kLat] = Single(Tidy(settings.centerLat));
  values_[kLon] = Single(Tidy(settings.centerLon));
  values_[kOffsetX] = Single(Tidy(settings.offsetX));
  values_[kOffsetY] = Single(Tidy(settings.offsetY));
  values_[kScale] = Single(Tidy(settings.scale));
  values_[kAspect] = Single(Tidy(settings.aspect));
  if (settings.parallel1 && settings.parallel2) {
    values_[kParallel1] = Tidy(*settings.parallel1);
    values_[kParallel2] = Tidy(*settings.parallel2);
  }
  ApplyValues();
  RefreshFields();
}

void PageSource::Zoom(double factor) {
  values_[kScale] = Single(values_[kScale] * factor);
  ApplyValues();
  RefreshFields();
}

void PageSource::DragStart() { valuesAtPress_ = values_; }

void PageSource::DragMove(QPointF sourceDelta) {
  // Source pixels per user unit: the world's width (2 units, 360 degrees) spans scale x the
  // picture's width, its height (1 unit, 180 degrees) scale / aspect x half the picture's height.
  const QSize size = sourceView_->SourceSize();
  const double scale = valuesAtPress_[kScale];
  const double across = scale * std::max(1, size.width()) / 2;
  const double down =
      scale / (valuesAtPress_[kAspect] + kAspectGuard) * std::max(1, size.height()) / 2;
  if (!(across != 0 && down != 0 && std::isfinite(across) && std::isfinite(down))) return;
  const double units[2] = {sourceDelta.x() / across, sourceDelta.y() / down};
  // The map follows the hand: right moves it right, down moves it down (a smaller y offset); in
  // centre mode the globe turns under the hand, so pulling down brings the north into view.
  if (centre_->isChecked()) {
    values_[kLon] = FourDecimals(valuesAtPress_[kLon] - 180 * units[0]);
    values_[kLat] = FourDecimals(valuesAtPress_[kLat] + 180 * units[1]);
  } else {
    values_[kOffsetX] = FourDecimals(valuesAtPress_[kOffsetX] + units[0]);
    values_[kOffsetY] = FourDecimals(valuesAtPress_[kOffsetY] - units[1]);
  }
  ApplyValues();
  RefreshFields();
}

void PageSource::DragEnd(bool cancelled) {
  if (!cancelled) return;
  values_ = valuesAtPress_;
  ApplyValues();
  RefreshFields();
}
