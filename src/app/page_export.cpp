// PageExport: export width, file name, and the export itself on a worker thread.
#include "app/page_export.h"

#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>

#include "app/preview_frame.h"
#include "app/text_exchange.h"
#include "app/wizard_prompts.h"
#include "image/memory_budget.h"

namespace {

constexpr int kProgressPollMs = 30;
constexpr int kProgressShowAfterMs = 300;

}  // namespace

PageExport::PageExport(VideoBuffer* source, MapInstance* instance, MapInstance* destination,
                       WizardPrompts* prompts)
    : source_(source), instance_(instance), destination_(destination), prompts_(prompts) {
  setTitle(QStringLiteral("Export Settings"));
  QWidget* panel = CentredPanel(*this, 410, 270);
  auto* text = new QLabel(QStringLiteral("Enter the size of the exported image.\n"
                                         "The output will be in the equirectangular projection.\n"
                                         "Its height will be half its width."),
                          panel);
  text->setGeometry(DialogRect(*this, 113, 64, 214, 33));
  auto* widthLabel = new QLabel(QStringLiteral("Width:"), panel);
  widthLabel->setGeometry(DialogRect(*this, 150, 128, 32, 14));
  widthLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  widthEdit_ = new QLineEdit(panel);
  widthEdit_->setGeometry(DialogRect(*this, 185, 128, 40, 14));
  widthLabel->setBuddy(widthEdit_);
  auto* pixels = new QLabel(QStringLiteral("pixels"), panel);
  pixels->setGeometry(DialogRect(*this, 230, 128, 40, 14));
  pixels->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void PageExport::initializePage() { widthEdit_->setText(QString::number(exportWidth_)); }

bool PageExport::ExchangeFromControls() {
  const std::optional<std::uint32_t> width = ParseUnsigned(widthEdit_->text().toStdString());
  if (!width) {
    prompts_->ShowMessage(this, QStringLiteral("Enter a positive integer."));
    widthEdit_->setFocus();
    widthEdit_->selectAll();
    return false;
  }
  exportWidth_ = *width;
  return true;
}

bool PageExport::validatePage() {
  if (!ExchangeFromControls()) return false;
  if (exportWidth_ < kMinimumWidth) {
    prompts_->ShowMessage(this, QStringLiteral("The width must be at least 4 pixels."));
    return false;
  }
  const QString path = prompts_->AskSavePath(this);
  if (path.isEmpty()) return true;
  std::string reason;
  switch (RunExport(path, &reason)) {
    case ExportResult::kOk:
      return true;
    case ExportResult::kCancelled:
      return false;
    case ExportResult::kBadWidth:
      prompts_->ShowMessage(this, QStringLiteral("The width must be at least 4 pixels."));
      return false;
    case ExportResult::kNoMemory:
      prompts_->ShowMessage(this, QString::fromStdString(MemoryBudget::NotEnoughMessage(
                                      exportWidth_, exportWidth_ / 2,
                                      ExportMemoryNeeded(exportWidth_, exportWidth_ / 2))));
      return false;
    case ExportResult::kWriteFailed:
      prompts_->ShowMessage(this, QStringLiteral("Cannot write file ") + path +
                                      QStringLiteral(": ") + QString::fromStdString(reason));
      return false;
  }
  return false;
}

ExportResult PageExport::RunExport(const QString& path, std::string* reason) {
  // A width no buffer can have is not made smaller: it is too much memory.
  if (exportWidth_ > INT32_MAX) return ExportResult::kNoMemory;
  RasterProgress progress;
  std::atomic<bool> done{false};
  ExportResult result = ExportResult::kOk;
  const std::string file = FilePath(path);
  const int width = static_cast<int>(exportWidth_);
  const int rows = width / 2;

  QProgressDialog dialog(QStringLiteral("Exporting ") + path, QStringLiteral("Cancel"), 0, rows,
                         this);
  dialog.setWindowTitle(QStringLiteral("Export"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(kProgressShowAfterMs);
  dialog.setAutoReset(false);
  dialog.setAutoClose(false);

  // The worker only reads the source image and the instance; the window-modal dialog keeps the
  // pages from changing them until it has finished.
  std::thread worker([&] {
    result =
        ExportEquirectangular(*source_, *instance_, width, file, &progress, {}, nullptr, 0, reason);
    done = true;
  });
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(kProgressPollMs);
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (dialog.wasCanceled()) progress.cancel = true;
    if (done) {
      loop.quit();
      return;
    }
    const long long rowsDone = progress.rowsDone;
    // Cancel still counts while writing: the file is then never put in place.
    if (rowsDone >= rows) dialog.setLabelText(QStringLiteral("Writing ") + path);
    dialog.setValue(static_cast<int>(std::min<long long>(rowsDone, rows)));
  });
  poll.start();
  loop.exec();
  worker.join();
  return result;
}
