// PageSource: the second wizard page, where the user says in which projection the source image is
// drawn and lines a live graticule up with the map, seeing the equirectangular result beside it.
//
// The page shows and takes the map's settings as people write them (MapSettings: latitudes
// north-positive, a positive offset moves the map right and up); the instance keeps its stored
// convention.
#ifndef KARTOVEL_APP_PAGE_SOURCE_H_
#define KARTOVEL_APP_PAGE_SOURCE_H_

#include <QPointF>
#include <QWizardPage>
#include <array>
#include <vector>

#include "app/settings_fields.h"
#include "fit/fit.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"
#include "registry/map_settings.h"

class FitPanel;
class PreviewFrame;
class QBoxLayout;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class RecognizeAction;
class QSlider;
class SourceView;
class WizardPrompts;

class PageSource : public QWizardPage {
 public:
  // The parameter edits, in the order the page rewrites them. The parallels are enabled for the
  // projections that use them only.
  using Field = SettingsFields::Field;
  using enum SettingsFields::Field;
  static constexpr int kFieldCount = SettingsFields::kCount;

  // `source`, `instance` and `points` are the wizard's shared source image, source projection and
  // control points; `prompts` its user dialogs. None is owned.
  PageSource(VideoBuffer* source, MapInstance* instance, std::vector<Fit::ControlPoint>* points,
             WizardPrompts* prompts);
  ~PageSource() override;

  void initializePage() override;
  // Next: the edits must hold numbers.
  bool validatePage() override;
  // Reads the edits into the page's values (single precision where the command line uses it).
  // On a text that is not a number: "Enter a number.", that edit gets the focus, false.
  bool ExchangeFromControls();
  // Takes the instance's settings (after a settings file was loaded, say) into the page.
  void ShowInstance();
  // The source picture changed: the source view shows the new one whole.
  void SourceChanged();

  // Brings the result up to date with the instance; paints call it, so work asked for between two
  // paints is done once.
  void RenderPending();

  double Value(Field field) const { return values_[field]; }
  const VideoBuffer& Result() const { return result_; }

  // Where other tools of this page put their controls: a row above the views, and a panel at the
  // right of the views (empty and hidden until something is added).
  QBoxLayout* ToolRow() const { return toolRow_; }
  QBoxLayout* SidePanel() const { return sidePanel_; }

  QListWidget* ProjectionList() const { return list_; }
  QLineEdit* SearchEdit() const { return search_; }
  QLineEdit* Edit(Field field) const { return edits_[field]; }
  QPushButton* FitButton() const { return fit_; }
  RecognizeAction* Recognise() const { return recognize_; }
  QPushButton* CentreButton() const { return centre_; }
  QPushButton* ZoomInButton() const { return zoomIn_; }
  QPushButton* ZoomOutButton() const { return zoomOut_; }
  QComboBox* SpacingChoice() const { return spacing_; }
  QSlider* OpacitySlider() const { return opacity_; }
  QLabel* NameValue() const { return name_; }
  QLabel* TypeValue() const { return type_; }
  QLabel* ConformalValue() const { return conformal_; }
  QLabel* EqualAreaValue() const { return equalArea_; }
  QLabel* PerspectiveValue() const { return perspective_; }
  // Says, while it is so, that the projection refused the typed values.
  QLabel* RefusalNote() const { return refusal_; }
  // Takes found settings (a fit, a recognition): the type, its parameters, the list's selection
  // and the edits.
  void TakeSettings(const MapSettings& settings);
  SourceView* SourceViewWidget() const { return sourceView_; }
  // Outline and control-point fits, in the side panel.
  FitPanel& Fitting() const { return *fitPanel_; }
  PreviewFrame* ResultView() const { return resultView_; }

 private:
  void ApplyValues();
  void Redraw();
  void RefreshFields();
  void EditChanged(int field);
  void SelectionChanged();
  void FillList();
  // Selects the type in the list without changing the instance, in view.
  void SelectInList(int typeCode);
  void Filter(const QString& text);
  void Fit();
  void Zoom(double factor);
  void DragStart();
  void DragMove(QPointF sourceDelta);
  void DragEnd(bool cancelled);

  VideoBuffer* source_;
  MapInstance* instance_;
  WizardPrompts* prompts_;
  SettingsFields::Values values_{};
  VideoBuffer result_;
  bool resultStale_ = true;
  // Set while the page writes edits itself, so that their change handler stays out.
  bool editGuard_ = false;

  std::array<double, kFieldCount> valuesAtPress_{};

  QBoxLayout* toolRow_;
  QBoxLayout* sidePanel_;
  QListWidget* list_;
  QLineEdit* search_;
  std::array<QLineEdit*, kFieldCount> edits_{};
  QPushButton* fit_;
  RecognizeAction* recognize_ = nullptr;
  QPushButton* centre_;
  QPushButton* zoomIn_;
  QPushButton* zoomOut_;
  QComboBox* spacing_;
  QSlider* opacity_;
  QLabel* name_;
  QLabel* type_;
  QLabel* conformal_;
  QLabel* equalArea_;
  QLabel* perspective_;
  QLabel* refusal_;
  SourceView* sourceView_;
  PreviewFrame* resultView_;
  FitPanel* fitPanel_;
};

#endif  // KARTOVEL_APP_PAGE_SOURCE_H_
