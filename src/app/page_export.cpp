// PageExport: export width with its estimate, file name, and the export itself on a worker thread.
#include "app/page_export.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <thread>

#include "app/text_exchange.h"
#include "app/wizard_prompts.h"
#include "engine/resolution.h"
#include "image/memory_budget.h"

namespace {

constexpr int kProgressPollMs = 30;
constexpr int kProgressShowAfterMs = 300;

QString Bytes(double bytes) {
  const char* const units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  return QStringLiteral("%1 %2").arg(bytes, 0, 'f', unit == 0 ? 0 : 1).arg(units[unit]);
}

}  // namespace

PageExport::PageExport(VideoBuffer* source, MapInstance* instance, MapInstance* destination,
                       WizardPrompts* prompts)
    : source_(source), instance_(instance), destination_(destination), prompts_(prompts) {
  setTitle(QStringLiteral("Export Settings"));
  setSubTitle(QStringLiteral(
      "The output is in the equirectangular projection; its height is half its width. Export as "
      "often as you like: go Back, change a setting and export again. Finish closes Kartovel."));

  widthEdit_ = new QLineEdit;
  widthEdit_->setMaximumWidth(10 * fontMetrics().averageCharWidth());
  height_ = new QLabel;
  auto* native = new QPushButton(QStringLiteral("&Keep Source Resolution"));
  native->setToolTip(QStringLiteral(
      "The width at which the centre of the map keeps the source's pixels per degree"));
  auto* widthRow = new QHBoxLayout;
  widthRow->addWidget(widthEdit_);
  widthRow->addWidget(height_);
  widthRow->addWidget(native);
  widthRow->addStretch(1);
  estimate_ = new QLabel;
  estimate_->setWordWrap(true);

  kernel_ = new QComboBox;
  kernel_->addItem(QStringLiteral("Bilinear (smooth)"), static_cast<int>(Kernel::kBilinear));
  kernel_->addItem(QStringLiteral("Bicubic (sharper)"), static_cast<int>(Kernel::kBicubic));
  kernel_->addItem(QStringLiteral("Nearest (exact colours: classified maps, palettes, masks)"),
                   static_cast<int>(Kernel::kNearest));
  antialias_ = new QCheckBox(QStringLiteral("&Average where the map is shrunk"));
  antialias_->setChecked(true);
  antialias_->setToolTip(
      QStringLiteral("Where one output pixel covers several source pixels, use their mean"));
  connect(kernel_, &QComboBox::currentIndexChanged, this, [this] {
    // The nearest kernel keeps exact colours, which averaging would mix.
    antialias_->setEnabled(Sampling().kernel != Kernel::kNearest);
  });
  auto* samplingRow = new QHBoxLayout;
  samplingRow->addWidget(kernel_);
  samplingRow->addWidget(antialias_);
  samplingRow->addStretch(1);

  fileEdit_ = new QLineEdit;
  auto* browse = new QPushButton(QStringLiteral("&Browse..."));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(fileEdit_, 1);
  fileRow->addWidget(browse);

  export_ = new QPushButton(QStringLiteral("&Export"));
  status_ = new QLabel;
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  openFolder_ = new QPushButton(QStringLiteral("&Open Folder"));
  openFolder_->setVisible(false);
  auto* exportRow = new QHBoxLayout;
  exportRow->addWidget(export_);
  exportRow->addWidget(status_, 1);
  exportRow->addWidget(openFolder_);

  auto* form = new QFormLayout;
  auto* widthLabel = new QLabel(QStringLiteral("&Width (pixels):"));
  widthLabel->setBuddy(widthEdit_);
  extent_ = new QComboBox;
  extent_->addItems({QStringLiteral("Whole world"), QStringLiteral("Only where the map has data")});
  auto* extentLabel = new QLabel(QStringLiteral("E&xtent:"));
  extentLabel->setBuddy(extent_);
  auto* fileLabel = new QLabel(QStringLiteral("&File:"));
  fileLabel->setBuddy(fileEdit_);
  form->addRow(widthLabel, widthRow);
  form->addRow(QString(), estimate_);
  auto* kernelLabel = new QLabel(QStringLiteral("&Resampling:"));
  kernelLabel->setBuddy(kernel_);
  form->addRow(kernelLabel, samplingRow);
  form->addRow(extentLabel, extent_);
  form->addRow(fileLabel, fileRow);
  form->addRow(QString(), exportRow);
  auto* page = new QVBoxLayout(this);
  page->addLayout(form);
  page->addStretch(1);

  connect(widthEdit_, &QLineEdit::textEdited, this, [this] { widthChosen_ = true; });
  connect(widthEdit_, &QLineEdit::textChanged, this, [this] { ShowEstimate(); });
  connect(native, &QPushButton::clicked, this, [this] {
    widthChosen_ = false;
    widthEdit_->setText(QString::number(NativeWidth()));
  });
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString chosen = prompts_->AskSavePath(this, OutputPath());
    if (!chosen.isEmpty()) fileEdit_->setText(chosen);
  });
  connect(export_, &QPushButton::clicked, this, [this] { Export(); });
  connect(openFolder_, &QPushButton::clicked, this,
          [this] { prompts_->OpenFolder(QFileInfo(written_).absolutePath()); });
}

std::uint32_t PageExport::NativeWidth() const {
  if (!source_->HasStorage()) return kDefaultWidth;
  const std::int64_t width = NativeExportWidth(*instance_, source_->width, source_->height);
  if (width < kMinimumWidth || width > INT32_MAX) return kDefaultWidth;
  return static_cast<std::uint32_t>(width);
}

QString PageExport::SuggestedPath() const {
  const QString source = sourcePath_ ? sourcePath_() : QString();
  if (source.isEmpty()) return QString();
  const QFileInfo info(source);
  return QDir(info.absolutePath())
      .filePath(info.completeBaseName() + QStringLiteral("-equirectangular.png"));
}

QString PageExport::OutputPath() const { return fileEdit_->text().trimmed(); }

void PageExport::SetWidth(std::uint32_t width) {
  exportWidth_ = width;
  widthChosen_ = true;
  widthEdit_->setText(QString::number(width));
}

SamplingOptions PageExport::Sampling() const {
  SamplingOptions sampling;
  sampling.kernel = static_cast<Kernel>(kernel_->currentData().toInt());
  sampling.antialias = antialias_->isChecked();
  return sampling;
}

void PageExport::SetSampling(const SamplingOptions& sampling) {
  kernel_->setCurrentIndex(std::max(0, kernel_->findData(static_cast<int>(sampling.kernel))));
  antialias_->setChecked(sampling.antialias);
}

void PageExport::initializePage() {
  if (!widthChosen_) exportWidth_ = NativeWidth();
  widthEdit_->setText(QString::number(exportWidth_));
  const QString suggested = SuggestedPath();
  if (OutputPath().isEmpty() || OutputPath() == suggested_) fileEdit_->setText(suggested);
  suggested_ = suggested;
  ShowEstimate();
  export_->setDefault(true);
}

void PageExport::ShowEstimate() {
  const std::optional<std::uint32_t> width = ParseUnsigned(widthEdit_->text().toStdString());
  if (!width || *width < kMinimumWidth) {
    height_->setText(QString());
    estimate_->setText(QStringLiteral("The width must be a whole number of at least 4 pixels."));
    return;
  }
  const std::uint64_t w = *width;
  const std::uint64_t h = w / 2;
  // The bands the export holds while it writes, and the file's uncompressed pixels.
  const std::uint64_t bytes = ExportMemoryNeeded(*source_, Request(FilePath(OutputPath()), w));
  height_->setText(QStringLiteral("\u00D7 %1 pixels").arg(h));
  QString text = QStringLiteral(
                     "Needs about %1 of memory; the file takes up to %2 "
                     "(a PNG is usually much smaller).")
                     .arg(Bytes(static_cast<double>(bytes)), Bytes(static_cast<double>(w * h * 4)));
  const std::uint32_t native = NativeWidth();
  if (w > native) {
    text += QStringLiteral(" Wider than the source's resolution (%1 pixels): no more detail.")
                .arg(native);
  }
  if (!MemoryBudget::Allows(bytes)) {
    text = QString::fromStdString(MemoryBudget::NotEnoughMessage(
               static_cast<std::int64_t>(w), static_cast<std::int64_t>(h), bytes)) +
           QStringLiteral(". Choose a smaller width.");
  }
  estimate_->setText(text);
}

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

bool PageExport::validatePage() { return ExchangeFromControls(); }

bool PageExport::Export() {
  if (!ExchangeFromControls()) return false;
  if (exportWidth_ < kMinimumWidth) {
    prompts_->ShowMessage(this, QStringLiteral("The width must be at least 4 pixels."));
    return false;
  }
  QString path = OutputPath();
  if (path.isEmpty()) {
    path = prompts_->AskSavePath(this, SuggestedPath());
    if (path.isEmpty()) return false;
    fileEdit_->setText(path);
  } else if (QFileInfo::exists(path) && path != written_ &&
             !prompts_->AskYesNo(this,
                                 QStringLiteral("%1 already exists. Replace it?").arg(path))) {
    return false;
  }
  status_->setText(QString());
  openFolder_->setVisible(false);
  std::string reason;
  switch (RunExport(path, &reason)) {
    case ExportResult::kOk:
      break;
    case ExportResult::kCancelled:
      status_->setText(QStringLiteral("Export cancelled; no file was written."));
      return false;
    case ExportResult::kBadWidth:
      prompts_->ShowMessage(this, QStringLiteral("The width must be at least 4 pixels."));
      return false;
    case ExportResult::kNoMemory:
      prompts_->ShowMessage(
          this, QString::fromStdString(MemoryBudget::NotEnoughMessage(
                    exportWidth_, exportWidth_ / 2,
                    ExportMemoryNeeded(*source_, Request(FilePath(path), exportWidth_)))));
      return false;
    case ExportResult::kNoData:
      prompts_->ShowMessage(this, QStringLiteral("The map covers no part of the world yet."));
      return false;
    case ExportResult::kFormatLimit:
    case ExportResult::kEmptyWindow:
    case ExportResult::kNotEquirectangular:
    case ExportResult::kSidecarFailed:
    case ExportResult::kWriteFailed:
      prompts_->ShowMessage(this, QStringLiteral("Cannot write file ") + path +
                                      QStringLiteral(": ") + QString::fromStdString(reason));
      return false;
  }
  written_ = path;
  status_->setText(extent_->currentIndex() == 0
                       ? QStringLiteral("Wrote %1 (%2 \u00D7 %3 pixels).")
                             .arg(QDir::toNativeSeparators(path))
                             .arg(exportWidth_)
                             .arg(exportWidth_ / 2)
                       : QStringLiteral("Wrote %1.").arg(QDir::toNativeSeparators(path)));
  openFolder_->setVisible(true);
  if (exported_) exported_(path);
  return true;
}

ExportRequest PageExport::Request(const std::string& file, std::int64_t width) const {
  ExportRequest request;
  request.width = width;
  request.path = file;
  request.sampling = Sampling();
  if (extent_->currentIndex() == 1) request.extent.kind = ExportExtent::Kind::kData;
  return request;
}

ExportResult PageExport::RunExport(const QString& path, std::string* reason) {
  RasterProgress progress;
  std::atomic<bool> done{false};
  ExportResult result = ExportResult::kOk;
  const std::string file = FilePath(path);
  const ExportRequest request = Request(file, exportWidth_);

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
    result = ExportEquirectangular(*source_, *instance_, request, &progress, reason);
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
    // Per mille of the rows: the total is known once the job has planned its work. Cancel still
    // counts while the file is completed: it is then never put in place.
    const long long total = progress.rowsTotal;
    if (total > 0 && progress.rowsDone >= total)
      dialog.setLabelText(QStringLiteral("Writing ") + path);
    dialog.setValue(static_cast<int>(
        std::min<long long>(progress.rowsDone * 1000 / std::max<long long>(total, 1), 1000)));
  });
  poll.start();
  loop.exec();
  worker.join();
  return result;
}
