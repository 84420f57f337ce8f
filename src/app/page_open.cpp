// PageOpen: loading the source image from a typed, browsed, recent or dropped path, with a
// stretched preview.
#include "app/page_open.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <atomic>
#include <memory>
#include <thread>

#include "app/preview_frame.h"
#include "app/wizard_prompts.h"
#include "engine/reproject.h"

namespace {

constexpr std::uint32_t kEmptyPreviewColour = 0x8000FFFF;  // yellow
const char kRecentKey[] = "recentFiles";
const char kFolderKey[] = "lastFolder";
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
  setSubTitle(QStringLiteral("Type a path, browse, pick a recent file, or drop a picture here."));
  auto* label = new QLabel(QStringLiteral("Source Image Name:"));
  pathEdit_ = new QLineEdit;
  // A file dropped on the edit goes to the window, which loads it.
  pathEdit_->setAcceptDrops(false);
  label->setBuddy(pathEdit_);
  browse_ = new QPushButton(QStringLiteral("&..."));
  browse_->setMaximumWidth(4 * fontMetrics().averageCharWidth() + 16);
  browse_->setToolTip(QStringLiteral("Browse for a picture"));
  recent_ = new QToolButton;
  recent_->setText(QStringLiteral("&Recent"));
  recent_->setPopupMode(QToolButton::InstantPopup);
  recent_->setMenu(new QMenu(recent_));
  connect(recent_->menu(), &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  frame_ = new PreviewFrame(this, &preview_, QPoint(1, 1));
  frame_->setMinimumSize(DialogRect(*this, 0, 0, 257, 234).size());
  frame_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  frame_->SetBeforePaint([this] { RenderPreview(); });

  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(pathEdit_, 1);
  row->addWidget(browse_);
  row->addWidget(recent_);
  auto* page = new QVBoxLayout(this);
  page->addLayout(row);
  page->addWidget(frame_, 1);

  connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(pathEdit_, &QLineEdit::textChanged, this,
          [this](const QString& text) { PathChanged(text); });
}

PageOpen::~PageOpen() { preview_.Release(); }

void PageOpen::SetPath(const QString& path) { pathEdit_->setText(path); }

void PageOpen::initializePage() {}

void PageOpen::Remember(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  QSettings settings;
  QStringList recent = settings.value(kRecentKey).toStringList();
  recent.removeAll(full);
  recent.prepend(full);
  while (recent.size() > kRecentCount) recent.removeLast();
  settings.setValue(kRecentKey, recent);
  settings.setValue(kFolderKey, QFileInfo(full).absolutePath());
}

QStringList PageOpen::RecentFiles() { return QSettings().value(kRecentKey).toStringList(); }

QString PageOpen::LastFolder() { return QSettings().value(kFolderKey).toString(); }

void PageOpen::FillRecentMenu() {
  QMenu* menu = recent_->menu();
  menu->clear();
  for (const QString& path : RecentFiles()) {
    QAction* action = menu->addAction(QFileInfo(path).fileName());
    action->setToolTip(path);
    action->setEnabled(QFileInfo::exists(path));
    connect(action, &QAction::triggered, this, [this, path] { SetPath(path); });
  }
  if (menu->isEmpty()) menu->addAction(QStringLiteral("No recent files"))->setEnabled(false);
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
  const QString chosen = prompts_->AskOpenPath(this, LastFolder());
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
  if (source_->HasStorage() && loaded_) loaded_(path_);
}

void PageOpen::RenderPreview() {
  // The picture keeps its proportions, as large as the frame allows and centred in it; without
  // one the frame is yellow.
  const QSize frame = frame_->BufferSize() - QSize(2, 2);
  QSize size = frame;
  if (source_->HasStorage()) {
    size = QSize(source_->width, source_->height).scaled(frame, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
  }
  if (preview_.width != size.width() || preview_.height != size.height()) {
    preview_.Create(size.width(), size.height());
  }
  const qreal ratio = frame_->PixelRatio();
  frame_->SetOffset(QPoint(1 + qRound((frame.width() - size.width()) / 2 / ratio),
                           1 + qRound((frame.height() - size.height()) / 2 / ratio)));
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
  Remember(path_);
  return true;
}
