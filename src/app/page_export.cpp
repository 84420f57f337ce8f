// PageExport: export width, file name, and the export itself on a worker thread.
#include "app/page_export.h"

#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>

#include "app/preview_frame.h"
#include "app/text_exchange.h"
#include "app/wizard_prompts.h"

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
  wholeWorld_ = new QRadioButton(QStringLiteral("&Whole world"), panel);
  wholeWorld_->setGeometry(DialogRect(*this, 150, 150, 160, 12));
  wholeWorld_->setChecked(true);
  dataOnly_ = new QRadioButton(QStringLiteral("&Only where the map has data"), panel);
  dataOnly_->setGeometry(DialogRect(*this, 150, 164, 160, 12));
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
  switch (RunExport(path)) {
    case ExportResult::kOk:
      return true;
    case ExportResult::kCancelled:
      return false;
    case ExportResult::kBadWidth:
      prompts_->ShowMessage(this, QStringLiteral("The width must be at least 4 pixels."));
      return false;
    case ExportResult::kNoMemory:
      prompts_->ShowMessage(
          this, QStringLiteral("Not enough memory for an image %1 pixels wide.").arg(exportWidth_));
      return false;
    case ExportResult::kNoData:
      prompts_->ShowMessage(this, QStringLiteral("The map covers no part of the world yet."));
      return false;
    case ExportResult::kFormatLimit:
      prompts_->ShowMessage(
          this, QStringLiteral("A picture %1 pixels wide is too large for this file type; "
                               "choose a .png or .tif name.")
                    .arg(exportWidth_));
      return false;
    case ExportResult::kEmptyWindow:
    case ExportResult::kNotEquirectangular:
    case ExportResult::kSidecarFailed:
    case ExportResult::kWriteFailed:
      prompts_->ShowMessage(this, QStringLiteral("Cannot write file ") + path);
      return false;
  }
  return false;
}

ExportResult PageExport::RunExport(const QString& path) {
  RasterProgress progress;
  std::atomic<bool> done{false};
  ExportResult result = ExportResult::kOk;
  const std::string file = FilePath(path);
  ExportRequest request;
  request.width = exportWidth_;
  request.path = file;
  if (dataOnly_->isChecked()) request.extent.kind = ExportExtent::Kind::kData;

  QProgressDialog dialog(QStringLiteral("Exporting ") + path, QStringLiteral("Cancel"), 0, 1000,
                         this);
  dialog.setWindowTitle(QStringLiteral("Export"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(kProgressShowAfterMs);
  dialog.setAutoReset(false);
  dialog.setAutoClose(false);

  // The worker only reads the source image and the instance; the window-modal dialog keeps the
  // pages from changing them until it has finished.
  std::thread worker([&] {
    result = ExportEquirectangular(*source_, *instance_, request, &progress);
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
    // Per mille of the rows: the total is known only once the job has planned its work.
    const long long total = std::max<long long>(progress.rowsTotal, 1);
    dialog.setValue(static_cast<int>(std::min<long long>(progress.rowsDone * 1000 / total, 1000)));
  });
  poll.start();
  loop.exec();
  worker.join();
  return result;
}
