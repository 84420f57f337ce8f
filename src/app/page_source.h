// PageSource: the second wizard page, where the user says in which projection the source image is
// drawn and lines a live graticule up with the map, seeing the equirectangular result beside it.
#ifndef KARTOVEL_APP_PAGE_SOURCE_H_
#define KARTOVEL_APP_PAGE_SOURCE_H_

#include <QPoint>
#include <QWizardPage>
#include <array>

#include "image/video_buffer.h"
#include "registry/map_instance.h"

class PreviewFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class RecognizeAction;
class WizardPrompts;

class PageSource : public QWizardPage {
 public:
  // The six parameter edits, in the order the page rewrites them.
  enum Field { kLat, kLon, kOffsetX, kOffsetY, kScale, kAspect, kFieldCount };

  // `source` and `instance` are the wizard's shared source image and source projection; `prompts`
  // its user dialogs. None is owned.
  PageSource(VideoBuffer* source, MapInstance* instance, WizardPrompts* prompts);
  ~PageSource() override;

  void initializePage() override;
  // Next: the edits must hold numbers.
  bool validatePage() override;
  // Reads the toggle and the six edits into the page's values at full precision. On a text that
  // is not a number: "Enter a number.", that edit gets the focus, false.
  bool ExchangeFromControls();

  // Brings the result and the source view up to date with the instance; paints call it, so work
  // asked for between two paints is done once.
  void RenderPending();

  double Value(Field field) const { return values_[field]; }
  bool CentreMode() const { return centreMode_ != 0; }
  const VideoBuffer& Display() const { return display_; }
  const VideoBuffer& Result() const { return result_; }

  QListWidget* ProjectionList() const { return list_; }
  QLineEdit* Edit(Field field) const { return edits_[field]; }
  QPushButton* FitButton() const { return fit_; }
  RecognizeAction* Recognise() const { return recognize_; }
  QPushButton* CentreButton() const { return centre_; }
  QPushButton* ZoomInButton() const { return zoomIn_; }
  QPushButton* ZoomOutButton() const { return zoomOut_; }
  QLabel* NameValue() const { return name_; }
  QLabel* TypeValue() const { return type_; }
  QLabel* ConformalValue() const { return conformal_; }
  QLabel* EqualAreaValue() const { return equalArea_; }
  QLabel* PerspectiveValue() const { return perspective_; }
  PreviewFrame* SourceView() const { return sourceView_; }
  PreviewFrame* ResultView() const { return resultView_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ApplySettings();
  void Redraw();
  void RefreshFields();
  void EditChanged(int field);
  void SelectionChanged();
  void FillList();
  void Fit();
  void Zoom(double factor);

  VideoBuffer* source_;
  MapInstance* instance_;
  WizardPrompts* prompts_;
  int centreMode_ = 0;
  std::array<double, kFieldCount> values_{};
  VideoBuffer display_;
  VideoBuffer background_;
  VideoBuffer result_;
  bool resultStale_ = true;
  bool displayStale_ = true;
  // Set while the page writes edits itself, so that their change handler stays out.
  bool editGuard_ = false;

  bool dragging_ = false;
  QPoint press_;
  double latAtPress_ = 0;
  double lonAtPress_ = 0;
  double offsetXAtPress_ = 0;  // user units
  double offsetYAtPress_ = 0;  // user units
  double dragSpanX_ = 1;       // logical pixels
  double dragSpanY_ = 1;

  QListWidget* list_;
  std::array<QLineEdit*, kFieldCount> edits_{};
  QPushButton* fit_;
  RecognizeAction* recognize_;
  QPushButton* centre_;
  QPushButton* zoomIn_;
  QPushButton* zoomOut_;
  QLabel* name_;
  QLabel* type_;
  QLabel* conformal_;
  QLabel* equalArea_;
  QLabel* perspective_;
  PreviewFrame* sourceView_;
  PreviewFrame* resultView_;
};

#endif  // KARTOVEL_APP_PAGE_SOURCE_H_
