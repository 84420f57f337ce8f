// PageExport: output projection, size with its estimate, sampling, extent, format and file name,
// and the export itself on a worker thread.
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
#include <QSignalBlocker>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "app/output_projection.h"
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

// The formats of the format list, with the extension each gives a file name.
struct FormatEntry {
  const char* name;
  ImageFiles::OutputFormat format;
  const char* extension;
};
constexpr FormatEntry kFormats[] = {
    {"PNG", ImageFiles::OutputFormat::kPng, "png"},
    {"BMP", ImageFiles::OutputFormat::kBmp, "bmp"},
    {"GeoTIFF", ImageFiles::OutputFormat::kTiff, "tif"},
};

// The format a file name's extension names, if it names one (any case).
std::optional<ImageFiles::OutputFormat> FormatOfSuffix(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("tiff")) return ImageFiles::OutputFormat::kTiff;
  for (const FormatEntry& entry : kFormats) {
    if (suffix == QLatin1String(entry.extension)) return entry.format;
  }
  return std::nullopt;
}

// `path` with the extension of `format`: a known extension of another format is replaced, any
// other is kept and the format's appended ("map.jpg" becomes "map.jpg.png", never a PNG named
// .jpg).
QString WithExtension(const QString& path, ImageFiles::OutputFormat format) {
  if (path.isEmpty()) return path;
  const std::optional<ImageFiles::OutputFormat> named = FormatOfSuffix(path);
  if (named == format) return path;
  QString base = path;
  if (named) base.chop(QFileInfo(path).suffix().size() + 1);
  for (const FormatEntry& entry : kFormats) {
    if (entry.format == format) return base + QLatin1Char('.') + QLatin1String(entry.extension);
  }
  return path;
}

}  // namespace

PageExport::PageExport(VideoBuffer* source, MapInstance* instance, MapInstance* destination,
                       WizardPrompts* prompts)
    : source_(source), instance_(instance), destination_(destination), prompts_(prompts) {
  setTitle(QStringLiteral("Export Settings"));
  setSubTitle(QStringLiteral(
      "Choose the output's projection, size and file. Export as often as you like: go Back, "
      "change a setting and export again. Finish closes Kartovel."));

  output_ = new OutputProjectionBox(destination_);

  widthEdit_ = new QLineEdit;
  widthEdit_->setMaximumWidth(10 * fontMetrics().averageCharWidth());
  heightEdit_ = new QLineEdit;
  heightEdit_->setMaximumWidth(widthEdit_->maximumWidth());
  heightEdit_->setEnabled(false);
  heightEdit_->setToolTip(QStringLiteral(
      "Half the width for the equirectangular world map; any height for another projection"));
  auto* native = new QPushButton(QStringLiteral("&Keep Source Resolution"));
  native->setToolTip(QStringLiteral(
      "The width at which the centre of the map keeps the source's pixels per degree"));
  auto* widthRow = new QHBoxLayout;
  widthRow->addWidget(widthEdit_);
  widthRow->addWidget(new QLabel(QStringLiteral("\u00D7")));
  widthRow->addWidget(heightEdit_);
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

  extent_ = new QComboBox;
  extent_->addItems({QStringLiteral("Whole world"), QStringLiteral("Only where the map has data")});
  worldFile_ = new QCheckBox(QStringLiteral("World file and .pr&j beside the picture"));
  auto* extentRow = new QHBoxLayout;
  extentRow->addWidget(extent_);
  extentRow->addWidget(worldFile_);
  extentRow->addStretch(1);

  format_ = new QComboBox;
  for (const FormatEntry& entry : kFormats) {
    format_->addItem(QString::fromLatin1(entry.name), static_cast<int>(entry.format));
  }
  format_->setToolTip(QStringLiteral(
      "GeoTIFF places the equirectangular world map on the globe for GIS tools; PNG and BMP "
      "can do so with a world file"));

  fileEdit_ = new QLineEdit;
  auto* browse = new QPushButton(QStringLiteral("Br&owse..."));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(fileEdit_, 1);
  fileRow->addWidget(browse);

  export_ = new QPushButton(QStringLiteral("&Export"));
  status_ = new QLabel;
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  openFolder_ = new QPushButton(QStringLiteral("Open Fol&der"));
  openFolder_->setVisible(false);
  auto* exportRow = new QHBoxLayout;
  exportRow->addWidget(export_);
  exportRow->addWidget(status_, 1);
  exportRow->addWidget(openFolder_);

  auto* form = new QFormLayout;
  const auto row = [form](const char* caption, QWidget* buddy, auto* field) {
    auto* label = new QLabel(QString::fromUtf8(caption));
    label->setBuddy(buddy);
    form->addRow(label, field);
  };
  row("&Projection:", output_->Choice(), output_);
  row("&Width \u00D7 height:", widthEdit_, widthRow);
  form->addRow(QString(), estimate_);
  row("&Resampling:", kernel_, samplingRow);
  row("E&xtent:", extent_, extentRow);
  auto* formatRow = new QHBoxLayout;
  formatRow->addWidget(format_);
  formatRow->addStretch(1);
  row("Forma&t:", format_, formatRow);
  row("O&utput file:", fileEdit_, fileRow);
  form->addRow(QString(), exportRow);
  auto* page = new QVBoxLayout(this);
  page->addLayout(form);
  page->addStretch(1);

  connect(widthEdit_, &QLineEdit::textEdited, this, [this] { widthChosen_ = true; });
  connect(widthEdit_, &QLineEdit::textChanged, this, [this] { ShowEstimate(); });
  connect(heightEdit_, &QLineEdit::textEdited, this, [this] { heightChosen_ = true; });
  connect(heightEdit_, &QLineEdit::textChanged, this, [this] { ShowEstimate(); });
  connect(native, &QPushButton::clicked, this, [this] {
    widthChosen_ = false;
    widthEdit_->setText(QString::number(NativeWidth()));
  });
  connect(format_, &QComboBox::currentIndexChanged, this, [this] { FormatChanged(); });
  connect(fileEdit_, &QLineEdit::textChanged, this, [this] { FileEdited(); });
  connect(extent_, &QComboBox::currentIndexChanged, this, [this] { ShowEstimate(); });
  output_->SetChangedHook([this] { OutputChanged(); });
  // A new type or a fit gives the height that keeps the map's shape again.
  const auto refit = [this] {
    heightChosen_ = false;
    ShowEstimate();
  };
  connect(output_->FitButton(), &QPushButton::clicked, this, refit);
  connect(output_->Choice(), &QComboBox::currentIndexChanged, this, refit);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString chosen = prompts_->AskSavePath(this, OutputPath());
    if (!chosen.isEmpty()) fileEdit_->setText(chosen);
  });
  connect(export_, &QPushButton::clicked, this, [this] { Export(); });
  connect(openFolder_, &QPushButton::clicked, this,
          [this] { prompts_->OpenFolder(QFileInfo(written_).absolutePath()); });
  OutputChanged();
}

void PageExport::OutputChanged() {
  const bool other = output_->Chosen();
  // Extents and world files place an equirectangular picture on the globe; other projections
  // have neither.
  const QString why = QStringLiteral("Only for the equirectangular world map");
  extent_->setEnabled(!other);
  extent_->setToolTip(other ? why
                            : QStringLiteral("Everything, or only the box of the world the map "
                                             "covers (on the same pixel grid)"));
  worldFile_->setEnabled(!other);
  worldFile_->setToolTip(other ? why
                               : QStringLiteral("A world file (.pgw, .bpw, .tfw) and a .prj that "
                                                "place the picture for GIS tools"));
  heightEdit_->setEnabled(other);
  if (!other) heightChosen_ = false;
  // The suggested name says the projection, as long as the user keeps it.
  if (OutputPath().isEmpty() || OutputPath() == suggested_) {
    suggested_ = SuggestedPath();
    fileEdit_->setText(suggested_);
  }
  ShowEstimate();
}

void PageExport::FormatChanged() {
  const bool suggested = OutputPath() == suggested_;
  const QString renamed = WithExtension(OutputPath(), Format());
  if (suggested) suggested_ = renamed;
  if (renamed != OutputPath()) fileEdit_->setText(renamed);
  ShowEstimate();
}

void PageExport::FileEdited() {
  const std::optional<ImageFiles::OutputFormat> named = FormatOfSuffix(OutputPath());
  if (named && *named != Format()) {
    const QSignalBlocker quiet(format_);
    format_->setCurrentIndex(format_->findData(static_cast<int>(*named)));
  }
  ShowEstimate();
}

ImageFiles::OutputFormat PageExport::Format() const {
  return static_cast<ImageFiles::OutputFormat>(format_->currentData().toInt());
}

std::int64_t PageExport::HeightFor(std::int64_t width) const {
  return output_->Chosen() ? exportHeight_ : width / 2;
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
      .filePath(WithExtension(info.completeBaseName() + QLatin1Char('-') + output_->FileWord(),
                              Format()));
}

QString PageExport::OutputPath() const { return fileEdit_->text().trimmed(); }


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
  if (!heightChosen_) {
    // Half the width, or the height at which the output projection's map keeps its shape.
    const double ratio = output_->Chosen() ? output_->HeightRatio() : 0.5;
    heightEdit_->setText(
        width ? QString::number(std::max<std::int64_t>(2, std::llround(*width * ratio)))
              : QString());
  }
  const std::optional<std::uint32_t> height = ParseUnsigned(heightEdit_->text().toStdString());
  if (!width || *width < kMinimumWidth || !height || *height < 2) {
    estimate_->setText(
        QStringLiteral("The width must be a whole number of at least 4 pixels, the height of at "
                       "least 2."));
    return;
  }
  const std::uint64_t w = *width;
  const std::uint64_t h = *height;
  // The bands the export holds while it writes, and the file's pixels.
  const std::uint64_t bytes = ExportMemoryNeeded(
      *source_, Request(FilePath(WithExtension(OutputPath(), Format())), w, h));
  const double pixels = static_cast<double>(w * h * 4);
  QString file;
  switch (Format()) {
    case ImageFiles::OutputFormat::kPng:
      file = QStringLiteral("up to %1 (a PNG is usually much smaller)").arg(Bytes(pixels));
      break;
    case ImageFiles::OutputFormat::kBmp:
      file = Bytes(pixels + 54);  // the 14 + 40 bytes of the headers
      break;
    case ImageFiles::OutputFormat::kTiff:
      file = QStringLiteral("up to %1 (compressed tiles are usually much smaller)")
                 .arg(Bytes(pixels));
      break;
  }
  QString text = QStringLiteral("Needs about %1 of memory; the file takes %2.")
                     .arg(Bytes(static_cast<double>(bytes)), file);
  const std::uint32_t native = NativeWidth();
  if (!output_->Chosen() && w > native) {
    text += QStringLiteral(" Wider than the source's resolution (%1 pixels): no more detail.")
                .arg(native);
  }
  const std::string limit = ImageFiles::FormatLimit(Format(), static_cast<std::int64_t>(w),
                                                    static_cast<std::int64_t>(h));
  if (!limit.empty()) {
    text = QString::fromStdString(limit) + QStringLiteral(": choose a smaller size or another "
                                                          "format.");
  } else if (!MemoryBudget::Allows(bytes)) {
    text = QString::fromStdString(MemoryBudget::NotEnoughMessage(
               static_cast<std::int64_t>(w), static_cast<std::int64_t>(h), bytes)) +
           QStringLiteral(". Choose a smaller width.");
  }
  estimate_->setText(text);
}

bool PageExport::ExchangeFromControls() {
  const auto refuse = [this](QLineEdit* edit, const QString& message) {
    prompts_->ShowMessage(this, message);
    if (edit) {
      edit->setFocus();
      edit->selectAll();
    }
    return false;
  };
  const std::optional<std::uint32_t> width = ParseUnsigned(widthEdit_->text().toStdString());
  if (!width) return refuse(widthEdit_, QStringLiteral("Enter a positive integer."));
  std::uint32_t height = *width / 2;
  if (output_->Chosen()) {
    const std::optional<std::uint32_t> typed = ParseUnsigned(heightEdit_->text().toStdString());
    if (!typed) return refuse(heightEdit_, QStringLiteral("Enter a positive integer."));
    height = *typed;
    const QString problem = output_->ExchangeFromControls();
    if (!problem.isEmpty()) return refuse(nullptr, problem);
  }
  exportWidth_ = *width;
  exportHeight_ = height;
  return true;
}

bool PageExport::validatePage() { return ExchangeFromControls(); }

bool PageExport::Export() {
  if (!ExchangeFromControls()) return false;
  if (exportWidth_ < kMinimumWidth || HeightFor(exportWidth_) < 2) {
    prompts_->ShowMessage(this, output_->Chosen()
                                    ? QStringLiteral("The width must be at least 4 pixels, the "
                                                     "height at least 2.")
                                    : QStringLiteral("The width must be at least 4 pixels."));
    return false;
  }
  // The file gets the chosen format's extension, so that its name says what it holds.
  QString path = WithExtension(OutputPath(), Format());
  if (path != OutputPath()) fileEdit_->setText(path);
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
                    exportWidth_, HeightFor(exportWidth_),
                    ExportMemoryNeeded(*source_, Request(FilePath(path), exportWidth_,
                                                         HeightFor(exportWidth_))))));
      return false;
    case ExportResult::kNoData:
      prompts_->ShowMessage(this, QStringLiteral("The map covers no part of the world yet."));
      return false;
    case ExportResult::kSidecarFailed:
      // The picture is there; only its placement files are missing.
      prompts_->ShowMessage(this, QStringLiteral("Wrote %1 but cannot write its world file or "
                                                 ".prj: %2")
                                      .arg(path, QString::fromStdString(reason)));
      break;
    case ExportResult::kEmptyWindow:
      prompts_->ShowMessage(this, QStringLiteral("The extent holds no pixel at this width."));
      return false;
    case ExportResult::kFormatLimit:
    case ExportResult::kNotEquirectangular:
    case ExportResult::kWriteFailed:
    case ExportResult::kSourceUnreadable:
      prompts_->ShowMessage(this, QStringLiteral("Cannot write file ") + path +
                                      QStringLiteral(": ") + QString::fromStdString(reason));
      return false;
  }
  written_ = path;
  status_->setText(output_->Chosen() || extent_->currentIndex() == 0
                       ? QStringLiteral("Wrote %1 (%2 \u00D7 %3 pixels).")
                             .arg(QDir::toNativeSeparators(path))
                             .arg(exportWidth_)
                             .arg(HeightFor(exportWidth_))
                       : QStringLiteral("Wrote %1.").arg(QDir::toNativeSeparators(path)));
  openFolder_->setVisible(true);
  if (exported_) exported_(path);
  return true;
}

ExportRequest PageExport::Request(const std::string& file, std::int64_t width,
                                  std::int64_t height) const {
  ExportRequest request;
  request.width = width;
  request.path = file;
  request.sampling = Sampling();
  request.crs = crs_;
  if (output_->Chosen()) {
    request.output = destination_;
    request.height = height;
    return request;
  }
  if (extent_->currentIndex() == 1) request.extent.kind = ExportExtent::Kind::kData;
  if (extent_->currentIndex() == 2) request.extent = window_;
  request.worldFile = worldFile_->isChecked();
  return request;
}

void PageExport::StoreChoices(Settings* s) const {
  // What the edits show, when they can be read (a width typed but not yet exported is meant);
  // before the page was first shown, the width it would offer.
  const std::optional<std::uint32_t> width = ParseUnsigned(widthEdit_->text().toStdString());
  const std::optional<std::uint32_t> height = ParseUnsigned(heightEdit_->text().toStdString());
  s->width = width.value_or(widthChosen_ ? exportWidth_ : NativeWidth());
  s->sampling = Sampling();
  s->crsText = crsText_;
  if (const std::optional<MapSettings> output = output_->Settings()) {
    s->outputProjection = std::to_string(output->typeCode);
    s->outputMap = *output;
    s->height = height.value_or(exportHeight_);
    return;
  }
  if (extent_->currentIndex() == 1) s->extentText = "data";
  if (extent_->currentIndex() == 2) {
    s->extentText = OptionNumber(window_.west) + "," + OptionNumber(window_.south) + "," +
                    OptionNumber(window_.east) + "," + OptionNumber(window_.north);
  }
  s->worldFile = worldFile_->isChecked();
}

void PageExport::TakeChoices(const Settings& s, QStringList* notes) {
  SetSampling(s.sampling);
  if (s.width >= kMinimumWidth && s.width <= UINT32_MAX && s.width != exportWidth_) {
    exportWidth_ = static_cast<std::uint32_t>(s.width);
    widthChosen_ = true;
    widthEdit_->setText(QString::number(exportWidth_));
  }
  if (s.crsText) {
    if (ParseGeoCrs(*s.crsText, &crs_)) {
      crsText_ = s.crsText;
    } else {
      *notes << QStringLiteral("unknown CRS %1: the CRS is kept")
                    .arg(QString::fromStdString(*s.crsText));
    }
  }
  std::optional<MapSettings> output;
  if (s.outputProjection) {
    output = s.outputMap;
    output->typeCode = FindProjection(*s.outputProjection);
  }
  if (!output_->SetSettings(output)) {
    *notes << QStringLiteral("output projection %1 is unknown or refuses its values: the output "
                             "is kept")
                  .arg(QString::fromStdString(*s.outputProjection));
  }
  if (output && s.height && *s.height >= 2 && *s.height <= UINT32_MAX) {
    exportHeight_ = static_cast<std::uint32_t>(*s.height);
    heightChosen_ = true;
    heightEdit_->setText(QString::number(exportHeight_));
  }
  worldFile_->setChecked(s.worldFile);
  ExportExtent extent;
  std::string error;
  if (!s.extentText) {
    extent_->setCurrentIndex(0);
  } else if (!ParseExtent(*s.extentText, &extent, &error)) {
    *notes << QStringLiteral("--extent %1: %2: the extent is kept")
                  .arg(QString::fromStdString(*s.extentText), QString::fromStdString(error));
  } else if (extent.kind == ExportExtent::Kind::kData) {
    extent_->setCurrentIndex(1);
  } else {
    // A window typed on the command line: offered as it is, beside the page's own choices.
    window_ = extent;
    const QString text = QStringLiteral("From %1\u00B0 E, %2\u00B0 N to %3\u00B0 E, %4\u00B0 N")
                             .arg(window_.west)
                             .arg(window_.south)
                             .arg(window_.east)
                             .arg(window_.north);
    if (extent_->count() < 3) extent_->addItem(text);
    extent_->setItemText(2, text);
    extent_->setCurrentIndex(2);
  }
  ShowEstimate();
}

ExportResult PageExport::RunExport(const QString& path, std::string* reason) {
  RasterProgress progress;
  std::atomic<bool> done{false};
  ExportResult result = ExportResult::kOk;
  const std::string file = FilePath(path);
  const ExportRequest request = Request(file, exportWidth_, HeightFor(exportWidth_));

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
