// RecognizeAction: the "Recognise" button of the source projection page. It finds the projection
// and settings of an Earth map from the picture alone, off the user-interface thread behind a
// progress dialog with Cancel, then selects the projection, fills the settings and shows the
// score; the user refines from there by hand.
#ifndef KARTOVEL_APP_RECOGNIZE_ACTION_H_
#define KARTOVEL_APP_RECOGNIZE_ACTION_H_

#include <QObject>
#include <functional>
#include <memory>

#include "image/video_buffer.h"
#include "recognize/recognize.h"
#include "registry/map_settings.h"

class QLabel;
class QProgressDialog;
class QPushButton;
class QThread;
class QTimer;
class QWidget;

class RecognizeAction : public QObject {
 public:
  // `page` hosts the button and the score line; `source` is the wizard's shared picture (not
  // owned); `take` gives the page the settings found.
  RecognizeAction(QWidget* page, const VideoBuffer* source,
                  std::function<void(const MapSettings&)> take);
  ~RecognizeAction() override;

  QPushButton* Button() const { return button_; }
  QLabel* Status() const { return status_; }
  // True while a recognition runs.
  bool Running() const { return thread_ != nullptr; }

  // What the button does; the result arrives through the event loop.
  void Start();

 private:
  void Finished();

  QWidget* page_;
  const VideoBuffer* source_;
  std::function<void(const MapSettings&)> take_;
  QPushButton* button_;
  QLabel* status_;

  // The run: its own copy of the picture, the recognizer made on this thread, the worker.
  ReferenceEarth earth_;
  VideoBuffer picture_;
  std::unique_ptr<Recognizer> recognizer_;
  std::vector<Recognition> results_;
  RecognizeResult result_ = RecognizeResult::kOk;
  RasterProgress progress_;
  QThread* thread_ = nullptr;
  QProgressDialog* dialog_ = nullptr;
  QTimer* poll_ = nullptr;
};

#endif  // KARTOVEL_APP_RECOGNIZE_ACTION_H_
