// OutputProjectionBox: the projection choice, its settings edits and their refusal note.
#include "app/output_projection.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

#include "engine/resolution.h"
#include "registry/projection_registry.h"

namespace {

constexpr int kWorldMap = -1;  // the choice's data for the equirectangular world map
constexpr double kFitDecimals = 1e4;  // fitted values keep four decimals, as typed ones would

}  // namespace

OutputProjectionBox::OutputProjectionBox(MapInstance* output) : output_(output) {
  choice_ = new QComboBox;
  choice_->setMaxVisibleItems(20);
  choice_->addItem(QStringLiteral("Equirectangular world map (georeferenced)"), kWorldMap);
  // Sorted without regard to case, as the source page lists them.
  ProjectionRegistry& registry = GetProjectionRegistry();
  for (int code = registry.First(); code != ProjectionRegistry::kEnd; code = registry.Next(code)) {
    const QString name = QString::fromStdString(registry.GetSlotName(code));
    int row = 1;
    while (row < choice_->count() &&
           QString::compare(choice_->itemText(row), name, Qt::CaseInsensitive) <= 0) {
      ++row;
    }
    choice_->insertItem(row, name, code);
  }
  choice_->setToolTip(QStringLiteral(
      "The projection of the output picture. The equirectangular world map is placed on the "
      "globe exactly (GeoTIFF, world file) and can be limited to where the map has data."));

  settings_ = new QWidget;
  auto* grid = new QGridLayout(settings_);
  grid->setContentsMargins(0, 0, 0, 0);
  static const char* const kRows[] = {"&Centre (\u00B0N, \u00B0E):", "Offset (right, up):",
                                      "Scale, aspect:", "Parallels (\u00B0N):"};
  static const char* const kTips[kCount] = {
      "Centre of projection, degrees north (negative: south)",
      "Centre of projection, degrees east (negative: west)",
      "Moves the map right (user units)",
      "Moves the map up (user units)",
      "Size of the map in the picture (1: as a source of this size)",
      "Height of the map against its width",
      "First standard parallel, degrees north",
      "Second standard parallel, degrees north"};
  for (int field = 0; field < kCount; ++field) {
    edits_[field] = new QLineEdit;
    edits_[field]->setMaximumWidth(10 * fontMetrics().averageCharWidth());
    edits_[field]->setToolTip(QString::fromLatin1(kTips[field]));
    grid->addWidget(edits_[field], field / 2, 1 + field % 2);
    connect(edits_[field], &QLineEdit::textChanged, this, [this] {
      if (guard_) return;
      ShowRefusal(Apply(false));
      if (changed_) changed_();
    });
  }
  for (int row = 0; row < kCount / 2; ++row) {
    auto* label = new QLabel(QString::fromUtf8(kRows[row]));
    label->setBuddy(edits_[2 * row]);
    grid->addWidget(label, row, 0);
  }
  fit_ = new QPushButton(QStringLiteral("F&it to Picture"));
  fit_->setToolTip(QStringLiteral(
      "Scale and aspect that make the whole map fill the picture, and the height that keeps its "
      "shape"));
  grid->addWidget(fit_, 2, 3);
  connect(fit_, &QPushButton::clicked, this, [this] { Fit(); });
  grid->setColumnStretch(4, 1);
  refusal_ = new QLabel;
  refusal_->setWordWrap(true);

  auto* choiceRow = new QHBoxLayout;
  choiceRow->addWidget(choice_);
  choiceRow->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(choiceRow);
  layout->addWidget(settings_);
  layout->addWidget(refusal_);
  refusal_->setVisible(false);
  settings_->setVisible(false);
  connect(choice_, &QComboBox::currentIndexChanged, this, [this] { ChoiceChanged(); });
}

bool OutputProjectionBox::Chosen() const { return choice_->currentData().toInt() != kWorldMap; }

std::optional<MapSettings> OutputProjectionBox::Settings() const {
  if (!Chosen()) return std::nullopt;
  return SettingsOf(*output_);
}

QString OutputProjectionBox::FileWord() const {
  if (!Chosen()) return QStringLiteral("equirectangular");
  QString word = choice_->currentText().toLower();
  word.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
  return word.remove(QRegularExpression(QStringLiteral("^-|-$")));
}

bool OutputProjectionBox::SetSettings(const std::optional<MapSettings>& settings) {
  if (!settings) {
    choice_->setCurrentIndex(0);
    return true;
  }
  const int row = choice_->findData(settings->typeCode);
  if (row < 1) return false;
  MapInstance trial = *output_;
  if (ApplySettings(*settings, &trial) != 0 || trial.typeCode != settings->typeCode) return false;
  *output_ = trial;
  {
    const QSignalBlocker quiet(choice_);
    choice_->setCurrentIndex(row);
  }
  settings_->setVisible(true);
  ShowRefusal(QString());
  ShowValues();
  if (changed_) changed_();
  return true;
}

void OutputProjectionBox::ChoiceChanged() {
  settings_->setVisible(Chosen());
  ShowRefusal(QString());
  if (Chosen()) {
    // A new type keeps the centre and parallels typed (the command line's defaults at first) and
    // fills the picture.
    if (edits_[kScale]->text().isEmpty()) {
      ApplySettings(MapSettings{}, output_);
      ShowValues();
    }
    Fit();
    return;
  }
  if (changed_) changed_();
}

void OutputProjectionBox::Fit() {
  guard_ = true;
  edits_[kOffsetX]->setText(QStringLiteral("0"));
  edits_[kOffsetY]->setText(QStringLiteral("0"));
  edits_[kScale]->setText(QStringLiteral("1"));
  edits_[kAspect]->setText(QStringLiteral("1"));
  guard_ = false;
  QString problem = Apply(false);
  double x = 0, y = 0;
  if (problem.isEmpty() && MapReach(*output_, &x, &y)) {
    const auto fourDecimals = [](double v) { return std::round(v * kFitDecimals) / kFitDecimals; };
    guard_ = true;
    edits_[kScale]->setText(QString::number(fourDecimals(1 / x)));
    edits_[kAspect]->setText(QString::number(fourDecimals(y / x)));
    guard_ = false;
    problem = Apply(false);
    heightRatio_ = y / x;
  }
  ShowRefusal(problem);
  ShowValues();
  if (changed_) changed_();
}

void OutputProjectionBox::ShowValues() {
  const SettingsFields::Values values = SettingsFields::ValuesOf(SettingsOf(*output_));
  guard_ = true;
  for (int field = 0; field < kCount; ++field) {
    edits_[field]->setText(SettingsFields::Text(field, values[field]));
  }
  guard_ = false;
  const bool parallels = UsesParallels(*output_);
  edits_[kParallel1]->setEnabled(parallels);
  edits_[kParallel2]->setEnabled(parallels);
}

QString OutputProjectionBox::Apply(bool focusBad) {
  if (!Chosen()) return QString();
  SettingsFields::Values values;
  for (int field = 0; field < kCount; ++field) {
    const std::optional<double> value =
        SettingsFields::Read(field, edits_[field]->text().toStdString());
    if (!value) {
      if (focusBad) {
        edits_[field]->setFocus();
        edits_[field]->selectAll();
      }
      return QStringLiteral("Enter a number.");
    }
    values[field] = *value;
  }
  if (ApplySettings(SettingsFields::SettingsFrom(choice_->currentData().toInt(), values),
                    output_) != 0) {
    return QStringLiteral("%1 refuses these values.").arg(choice_->currentText());
  }
  const bool parallels = UsesParallels(*output_);
  edits_[kParallel1]->setEnabled(parallels);
  edits_[kParallel2]->setEnabled(parallels);
  return QString();
}

QString OutputProjectionBox::ExchangeFromControls() {
  const QString problem = Apply(true);
  ShowRefusal(problem);
  return problem;
}

void OutputProjectionBox::ShowRefusal(const QString& text) {
  refusal_->setText(text);
  refusal_->setVisible(!text.isEmpty());
}
