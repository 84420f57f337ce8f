// FitPanel: fitting on the source projection page. "Fit Outline" fits the chosen projection to the
// map's outline; in point mode a left click on the source view places a control point whose
// latitude and longitude are typed in the panel (points can be dragged, and deleted with a right
// click or Delete Point; the view still zooms, and pans with the other buttons); "Fit Points" fits
// them, drawing each point's residual; "Which Projection?" ranks every type, and a click on the
// list takes that type with its settings. Fits run on a worker thread; the window stays responsive
// and Cancel stops a ranking.
#ifndef KARTOVEL_APP_FIT_PANEL_H_
#define KARTOVEL_APP_FIT_PANEL_H_

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "fit/fit.h"

class QBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QMouseEvent;
class QPainter;
class QPushButton;
class SourceView;

class FitPanel : public QObject {
 public:
  // Adds its controls to `panel` (a layout of the page, which then owns them) and draws over
  // `view`, taking its mouse in point mode. `source` is the picture `view` shows (fits work on a
  // copy), `instance` the page's projection, `points` the wizard's control points (saved with
  // its settings); `apply` takes fitted settings into the page. None is owned; `view` outlives
  // the panel.
  FitPanel(QObject* parent, QBoxLayout* panel, SourceView* view, const VideoBuffer* source,
           MapInstance* instance, std::vector<Fit::ControlPoint>* points,
           std::function<void(const MapSettings&)> apply);
  // Cancels a running fit and waits for it.
  ~FitPanel() override;

  // Markers of the points and their residuals (ten times longer, so that they show), in view
  // pixels at the view's zoom.
  void DrawMarkers(QPainter& painter) const;

  bool Busy() const { return worker_.joinable(); }
  // Waits for a running fit and takes its result (tests and screenshots).
  void Wait();

  // Points in picture pixels (top-left pixel centre at 0.5, 0.5); those without coordinates yet
  // have NaN latitude.
  std::vector<Fit::ControlPoint>& Points() { return *points_; }
  void Select(int index);

  QPushButton* FitOutlineButton() const { return fitOutline_; }
  QPushButton* PointModeButton() const { return pointMode_; }
  QPushButton* FitPointsButton() const { return fitPoints_; }
  QPushButton* RankButton() const { return rank_; }
  QPushButton* CancelButton() const { return cancel_; }
  QListWidget* RankList() const { return rankList_; }
  QLineEdit* PlaceEdit() const { return place_; }
  QPushButton* DeleteButton() const { return delete_; }
  QLabel* Status() const { return status_; }

 private:
  struct Outcome {
    int status = Fit::kFitOk;
    std::string reason;
    std::vector<Fit::FitResult> results;
  };

  void FitOutline();
  void FitPoints();
  void Rank();
  void Start(std::function<Outcome()> work);
  void Finish(Outcome outcome);
  void Take(const Fit::FitResult& result);
  void PlaceEdited();
  void DeleteSelected();
  std::vector<Fit::ControlPoint> ReadyPoints() const;
  std::shared_ptr<const VideoBuffer> PictureCopy() const;
  // The view's mouse in point mode; true when the panel used the event.
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool MousePress(QMouseEvent* event);
  bool MouseMove(QMouseEvent* event);
  bool MouseRelease(QMouseEvent* event);
  // Picture pixels of a view position, or false off the picture.
  bool PictureAt(QPointF view, double* column, double* row) const;
  int PointAt(QPointF view) const;
  void Changed();

  SourceView* view_;
  const VideoBuffer* source_;
  MapInstance* instance_;
  std::vector<Fit::ControlPoint>* points_;
  std::function<void(const MapSettings&)> apply_;

  std::vector<Fit::PointResidual> residuals_;  // of the last point fit, by point
  std::vector<Fit::FitResult> ranked_;
  int selected_ = -1;
  int dragged_ = -1;

  // The running fit, and what it works on: instances are made and destroyed on this thread.
  std::thread worker_;
  std::atomic<bool> cancelled_{false};
  std::vector<MapInstance> jobInstances_;

  QPushButton* fitOutline_;
  QPushButton* pointMode_;
  QPushButton* fitPoints_;
  QPushButton* rank_;
  QPushButton* cancel_;
  QListWidget* rankList_;
  QLineEdit* place_;
  QPushButton* delete_;
  QLabel* status_;
};

#endif  // KARTOVEL_APP_FIT_PANEL_H_
