// PageExport: the last wizard page, where the user picks the output's projection, size, sampling,
// extent, format and file and exports, as often as they like; Finish closes the wizard.
#ifndef KARTOVEL_APP_PAGE_EXPORT_H_
#define KARTOVEL_APP_PAGE_EXPORT_H_

#include <QString>
#include <QStringList>
#include <QWizardPage>
#include <cstdint>
#include <functional>
#include <string>

#include "cli/options.h"
#include "engine/export.h"
#include "image/band_writer.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class OutputProjectionBox;
class QPushButton;
class WizardPrompts;

class PageExport : public QWizardPage {
 public:
  static constexpr std::uint32_t kDefaultWidth = 1024;  // when the source's resolution is unknown
  static constexpr std::uint32_t kMinimumWidth = 4;     // both sides at least 2 pixels

  // The wizard's source image, source projection, output projection (used when another than the
  // equirectangular world map is chosen) and its user dialogs; none owned. The registry must be
  // loaded.
  PageExport(VideoBuffer* source, MapInstance* instance, MapInstance* destination,
             WizardPrompts* prompts);

  // `sourcePath` gives the source picture's path (for the suggested file name); `exported` runs
  // after each complete export with the file written.
  void SetHooks(std::function<QString()> sourcePath,
                std::function<void(const QString& written)> exported) {
    sourcePath_ = std::move(sourcePath);
    exported_ = std::move(exported);
  }

  // Unless the user chose a width, shows the one that keeps the source's resolution; suggests
  // `<source>-equirectangular.png` beside the source unless a file was chosen.
  void initializePage() override;
  // Finish closes the wizard; the edits must be readable.
  bool validatePage() override;
  // Reads the width, the height and the output projection's edits; on anything but an unsigned
  // number "Enter a positive integer.", on other refusals why (the edit gets the focus), false.
  bool ExchangeFromControls();
  // Export: width x height pixels (the equirectangular world map: width x width/2) to the file in
  // the file edit (asking for one when it is empty, and before replacing a file; given the chosen
  // format's extension unless it has it), off the user-interface thread behind a progress dialog
  // that can cancel. True when the file was written; the page then says where.
  bool Export();

  // The export choices as the command line's options hold them (width, height, sampling, extent,
  // world file, CRS, output projection with its settings) into `settings`.
  void StoreChoices(Settings* settings) const;
  // Takes the export choices of `settings` (from a settings file); a width is kept from then on
  // as a typed one. What cannot be used changes nothing and is added to `notes`.
  void TakeChoices(const Settings& settings, QStringList* notes);
  // How the export samples the source (the kernel and the antialiasing).
  SamplingOptions Sampling() const;
  void SetSampling(const SamplingOptions& sampling);
  // The width that keeps the source's resolution (kDefaultWidth when it cannot be measured).
  std::uint32_t NativeWidth() const;
  std::uint32_t ExportWidth() const { return exportWidth_; }
  QString OutputPath() const;
  ImageFiles::OutputFormat Format() const;
  QLineEdit* WidthEdit() const { return widthEdit_; }
  // The height: width / 2 unless the user types one for another output projection.
  QLineEdit* HeightEdit() const { return heightEdit_; }
  QComboBox* KernelChoice() const { return kernel_; }
  // "Whole world" (0) or "Only where the map has data" (1: the box of pixels the map covers).
  // "Whole world" (0) or "Only where the map has data" (1: the box of pixels the map covers); a
  // window from a settings file is a third entry.
  QComboBox* ExtentChoice() const { return extent_; }
  QCheckBox* WorldFileToggle() const { return worldFile_; }
  // PNG, BMP or GeoTIFF: follows the file name's extension and changes it.
  QComboBox* FormatChoice() const { return format_; }
  OutputProjectionBox& Output() const { return *output_; }
  QCheckBox* AntialiasToggle() const { return antialias_; }
  QLineEdit* FileEdit() const { return fileEdit_; }
  QPushButton* ExportButton() const { return export_; }
  QPushButton* OpenFolderButton() const { return openFolder_; }
  QLabel* EstimateLabel() const { return estimate_; }
  QLabel* StatusLabel() const { return status_; }

 private:
  // What Export asks of the export job for `file` at `width` (and `height`, for another output
  // projection).
  ExportRequest Request(const std::string& file, std::int64_t width, std::int64_t height) const;
  ExportResult RunExport(const QString& path, std::string* reason);
  void ShowEstimate();
  QString SuggestedPath() const;
  // The height for `width`: the typed one for another output projection, otherwise width / 2.
  std::int64_t HeightFor(std::int64_t width) const;
  void OutputChanged();
  void FormatChanged();
  void FileEdited();

  VideoBuffer* source_;
  MapInstance* instance_;
  MapInstance* destination_;
  WizardPrompts* prompts_;
  std::function<QString()> sourcePath_;
  std::function<void(const QString&)> exported_;
  std::uint32_t exportWidth_ = kDefaultWidth;
  std::uint32_t exportHeight_ = kDefaultWidth / 2;
  bool widthChosen_ = false;
  bool heightChosen_ = false;
  // A CRS from a settings file, kept for the GeoTIFF and the .prj (the page offers no choice).
  std::optional<std::string> crsText_;
  GeoCrs crs_;
  ExportExtent window_;  // the third extent entry's window
  QString suggested_;  // the file name last suggested, replaced while the user keeps it
  QString written_;
  OutputProjectionBox* output_;
  QLineEdit* widthEdit_;
  QLineEdit* heightEdit_;
  QLabel* estimate_;
  QComboBox* kernel_;
  QComboBox* extent_;
  QCheckBox* worldFile_;
  QComboBox* format_;
  QCheckBox* antialias_;
  QLineEdit* fileEdit_;
  QPushButton* export_;
  QLabel* status_;
  QPushButton* openFolder_;
};

#endif  // KARTOVEL_APP_PAGE_EXPORT_H_
