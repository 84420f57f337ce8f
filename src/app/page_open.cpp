// PageOpen: loading the source image from a typed or browsed path, with a stretched preview.
#include "app/page_open.h"

#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

#include "app/preview_frame.h"
#include "app/wizard_prompts.h"
#include "engine/reproject.h"

namespace {

constexpr std::uint32_t kEmptyPreviewColour = 0x8000FFFF;  // yellow
constexpr int kProgressPollMs = 30;
constexpr int kProgressShowAfterMs = 300;

// One decode on a worker thread; shared with it, so that a cancelled decode the platform decoder
// cannot stop may finish on its own after the page has let go of it.
struct DecodeJob {
  VideoBuffer picture;
  std::string reason;
  std::atomic<bool> cancel{false};
  std::atomic<bool> done{false};
  int result = -1;
};

}  // namespace

PageOpen::PageOpen(VideoBuffer* source, WizardPrompts* prompts)
    : source_(source), prompts_(prompts) {
  setTitle(QStringLiteral("Select Source Image"));
  QWidget* panel = CentredPanel(*this, 410, 270);
  auto* label = new QLabel(QStringLiteral("Source Image Name:"), panel);
  // Right-aligned against the edit, as wide as the font needs.
  label->setGeometry(DialogRect(*this, 0, 7, 102, 14));
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  pathEdit_ = new QLineEdit(panel);
  pathEdit_->setGeometry(DialogRect(*this, 104, 7, 200, 14));
  label->setBuddy(pathEdit_);
  browse_ = new QPushButton(QStringLiteral("&..."), panel);
  browse_->setGeometry(DialogRect(*this, 304, 7, 14, 14));
  frame_ = new PreviewFrame(panel, &preview_, QPoint(1, 1));
  frame_->setGeometry(DialogRect(*this, 77, 28, 257, 234));
  frame_->SetBeforePaint([this] { RenderPreview(); });

  connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(pathEdit_, &QLineEdit::textChanged, this,
          [this](const QString& text) { PathChanged(text); });
}

PageOpen::~PageOpen() { preview_.Release(); }

void PageOpen::SetPath(const QString& path) { pathEdit_->setText(path); }

void PageOpen::initializePage() {
  const QSize size = frame_->BufferSize();
  preview_.Create(size.width(), size.height());
}

int PageOpen::LoadSource(QString* reason) {
  source_->Release();
  auto job = std::make_shared<DecodeJob>();
  std::thread worker([job, file = FilePath(path_)] {
    job->result = job->picture.Load(file, &job->reason, &job->cancel);
    job->done = true;
  });
  // Large pictures take seconds: the page stays responsive behind a dialog that can cancel.
  QProgressDialog dialog(QStringLiteral("Reading ") + path_, QStringLiteral("Cancel"), 0, 0, this);
  dialog.setWindowTitle(QStringLiteral("Open"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(kProgressShowAfterMs);
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(kProgressPollMs);
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (job->done || dialog.wasCanceled()) loop.quit();
    dialog.setValue(0);  // lets the dialog appear after its delay
  });
  poll.start();
  if (!job->done) loop.exec();
  if (!job->done) {
    job->cancel = true;
    worker.detach();
    *reason = QStringLiteral("cancelled");
    return -1;
  }
  worker.join();
  if (job->result == 0) source_->Swap(job->picture);
  *reason = QString::fromStdString(job->reason);
  return job->result;
}

void PageOpen::Browse() {
  const QString chosen = prompts_->AskOpenPath(this);
  if (chosen.isEmpty()) return;
  path_ = chosen;
  QString reason;
  if (LoadSource(&reason) != 0) {
    prompts_->ShowMessage(
        this, QStringLiteral("Unable to read image file ") + path_ + QStringLiteral(": ") + reason);
    frame_->update();
    return;
  }
  pathEdit_->setText(path_);
  frame_->update();
}

void PageOpen::PathChanged(const QString& text) {
  path_ = text;
  QString reason;
  LoadSource(&reason);
  frame_->update();
}

void PageOpen::RenderPreview() {
  if (!preview_.HasStorage()) return;
  preview_.Fill(kEmptyPreviewColour);
  if (source_->HasStorage()) Resample(*source_, preview_);
}

bool PageOpen::validatePage() {
  path_ = pathEdit_->text();
  QString reason;
  if (LoadSource(&reason) < 0) {
    prompts_->ShowMessage(
        this, QStringLiteral("Cannot open file ") + path_ + QStringLiteral(": ") + reason);
    return false;
  }
  if (source_->width == 0) {
    prompts_->ShowMessage(this, QStringLiteral("A valid image file is not open"));
    return false;
  }
  return true;
}
