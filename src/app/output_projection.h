// OutputProjectionBox: the export page's choice of the output picture's projection, with that
// projection's own settings.
//
// The first entry is the usual equirectangular world map (georeferenced, any extent); every other
// entry draws the map in a type of the registry, placed as a source picture of the output's size
// would be. Values are shown and typed as people write them (MapSettings: latitudes
// north-positive, a positive offset moves the map right and up).
#ifndef KARTOVEL_APP_OUTPUT_PROJECTION_H_
#define KARTOVEL_APP_OUTPUT_PROJECTION_H_

#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "app/settings_fields.h"
#include "registry/map_instance.h"
#include "registry/map_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class OutputProjectionBox : public QWidget {
 public:
  // The settings edits, each read as the command line's --output-* options read it.
  using Field = SettingsFields::Field;
  using enum SettingsFields::Field;

  // `output` (not owned) is set up whenever another projection is chosen or a value changes.
  // The registry must be loaded.
  explicit OutputProjectionBox(MapInstance* output);

  // Runs after every change of the choice or of a value.
  void SetChangedHook(std::function<void()> changed) { changed_ = std::move(changed); }

  // True when another projection than the equirectangular world map is chosen.
  bool Chosen() const;
  // The chosen projection's settings as set up (empty for the equirectangular world map).
  std::optional<MapSettings> Settings() const;
  // Chooses `settings`' type with its values (none: the equirectangular world map). False when
  // the type is not registered or refuses the values; nothing changes then.
  bool SetSettings(const std::optional<MapSettings>& settings);
  // Reads the edits. On a text that is no number "Enter a number." (that edit gets the focus); on
  // values the projection refuses, why. Empty when the output is set up.
  QString ExchangeFromControls();
  // Centre kept, offsets 0, scale and aspect that make the whole map fill a picture of its own
  // shape (height / width = HeightRatio()); a map that cannot be measured gets scale and aspect 1.
  // A newly chosen type is fitted so.
  void Fit();
  // The height over the width of a picture the map fills at its true shape (0.5 for the
  // equirectangular world map and until a fit).
  double HeightRatio() const { return heightRatio_; }
  // A short name for file names ("robinson"), "equirectangular" for the world map.
  QString FileWord() const;

  QComboBox* Choice() const { return choice_; }
  QLineEdit* Edit(Field field) const { return edits_[field]; }
  QPushButton* FitButton() const { return fit_; }
  QLabel* RefusalNote() const { return refusal_; }

 private:
  void ChoiceChanged();
  void ShowValues();
  // The refusal note, shown only while it has something to say.
  void ShowRefusal(const QString& text);
  // Applies the edits' values; the reason when they cannot be used, otherwise empty.
  QString Apply(bool focusBad);

  MapInstance* output_;
  std::function<void()> changed_;
  bool guard_ = false;  // set while the box writes its own edits
  double heightRatio_ = 0.5;
  QComboBox* choice_;
  std::array<QLineEdit*, kCount> edits_{};
  QPushButton* fit_;
  QWidget* settings_;
  QLabel* refusal_;
};

#endif  // KARTOVEL_APP_OUTPUT_PROJECTION_H_
