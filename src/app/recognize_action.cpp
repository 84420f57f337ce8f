// RecognizeAction: the run on a worker thread and the settings it brings back.
#include "app/recognize_action.h"

#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <cstring>

#include "registry/map_settings.h"
#include "registry/projection_registry.h"

RecognizeAction::RecognizeAction(QWidget* page, const VideoBuffer* source,
                                 std::function<void(const MapSettings&)> take)
    : QObject(page),
      page_(page),
      source_(source),
      take_(std::move(take)),
      button_(new QPushButton(QStringLiteral("&Recognise"), page)),
      status_(new QLabel(page)) {
  button_->setToolTip(
      QStringLiteral("Find the projection and settings of an Earth map from the picture alone"));
  status_->setWordWrap(true);
  connect(button_, &QPushButton::clicked, this, [this] { Start(); });
}

RecognizeAction::~RecognizeAction() {
  if (!thread_) return;
  progress_.cancel = true;
  thread_->wait();
  delete thread_;
}

void RecognizeAction::Start() {
  if (thread_ || !source_->HasStorage()) return;
  if (!earth_.Loaded() && earth_.Load() != 0) {
    status_->setText(QString::fromStdString(RecognizeMessage(RecognizeResult::kNoReference)));
    return;
  }
  // The worker reads its own copy: the wizard may load another picture meanwhile.
  if (picture_.Create(source_->width, source_->height) != 0) {
    status_->setText(QStringLiteral("Not enough memory to recognise this picture."));
    return;
  }
  std::memcpy(picture_.pixels, source_->pixels, picture_.ByteCount());
  RecognizeRequest request;
  request.allTypes = true;
  recognizer_ = std::make_unique<Recognizer>(earth_, request);
  progress_.cancel = false;
  progress_.rowsDone = 0;
  results_.clear();

  dialog_ = new QProgressDialog(QStringLiteral("Recognising the map…"), QStringLiteral("Cancel"),
                                0, 100, page_);
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setMinimumDuration(0);
  connect(dialog_, &QProgressDialog::canceled, this, [this] { progress_.cancel = true; });
  poll_ = new QTimer(this);
  connect(poll_, &QTimer::timeout, this,
          [this] { dialog_->setValue(static_cast<int>(progress_.rowsDone.load())); });
  poll_->start(100);
  button_->setEnabled(false);

  thread_ = QThread::create([this] { result_ = recognizer_->Run(picture_, &results_, &progress_); });
  connect(thread_, &QThread::finished, this, [this] { Finished(); });
  thread_->start();
}

void RecognizeAction::Finished() {
  thread_->wait();
  delete thread_;
  thread_ = nullptr;
  poll_->stop();
  poll_->deleteLater();
  poll_ = nullptr;
  dialog_->deleteLater();
  dialog_ = nullptr;
  recognizer_.reset();  // its projections go back to the registry on this thread
  picture_.Release();
  button_->setEnabled(true);

  if (result_ == RecognizeResult::kOk) {
    const Recognition& best = results_.front();
    take_(best.settings);
    status_->setText(QStringLiteral("Recognised: %1 (score %2)")
                         .arg(QString::fromStdString(
                                  GetProjectionRegistry().GetSlotName(best.settings.typeCode)))
                         .arg(best.score, 0, 'f', 2));
    return;
  }
  if (result_ == RecognizeResult::kNotRecognised && !results_.empty()) {
    status_->setText(QStringLiteral("Not recognised: no Earth map found (best score %1); "
                                    "the settings are unchanged.")
                         .arg(results_.front().score, 0, 'f', 2));
    return;
  }
  status_->setText(QString::fromStdString(RecognizeMessage(result_)));
}
