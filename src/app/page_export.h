// PageExport: the last wizard page, where the user picks the width and the file and exports, as
// often as they like; Finish closes the wizard.
#ifndef KARTOVEL_APP_PAGE_EXPORT_H_
#define KARTOVEL_APP_PAGE_EXPORT_H_

#include <QString>
#include <QWizardPage>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/export.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class WizardPrompts;

class PageExport : public QWizardPage {
 public:
  static constexpr std::uint32_t kDefaultWidth = 1024;  // when the source's resolution is unknown
  static constexpr std::uint32_t kMinimumWidth = 4;     // both sides at least 2 pixels

  // The wizard's source image, source and destination projections (the last one unused) and its
  // user dialogs; none owned.
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
  // Reads the width edit; on anything but an unsigned number "Enter a positive integer.", false.
  bool ExchangeFromControls();
  // Export: width x width/2 pixels to the file in the file edit (asking for one when it is empty,
  // and before replacing a file), off the user-interface thread behind a progress dialog that can
  // cancel. True when the file was written; the page then says where.
  bool Export();

  // A width from a settings file: kept from then on, as a typed one.
  void SetWidth(std::uint32_t width);
  // How the export samples the source (the kernel and the antialiasing).
  SamplingOptions Sampling() const;
  void SetSampling(const SamplingOptions& sampling);
  // The width that keeps the source's resolution (kDefaultWidth when it cannot be measured).
  std::uint32_t NativeWidth() const;
  std::uint32_t ExportWidth() const { return exportWidth_; }
  QString OutputPath() const;
  QLineEdit* WidthEdit() const { return widthEdit_; }
  QComboBox* KernelChoice() const { return kernel_; }
  // "Whole world" (0) or "Only where the map has data" (1: the box of pixels the map covers).
  QComboBox* ExtentChoice() const { return extent_; }
  QCheckBox* AntialiasToggle() const { return antialias_; }
  QLineEdit* FileEdit() const { return fileEdit_; }
  QPushButton* ExportButton() const { return export_; }
  QPushButton* OpenFolderButton() const { return openFolder_; }
  QLabel* EstimateLabel() const { return estimate_; }
  QLabel* StatusLabel() const { return status_; }

 private:
  // What Export asks of the export job for `file` at `width`.
  ExportRequest Request(const std::string& file, std::int64_t width) const;
  ExportResult RunExport(const QString& path, std::string* reason);
  void ShowEstimate();
  QString SuggestedPath() const;

  VideoBuffer* source_;
  MapInstance* instance_;
  MapInstance* destination_;
  WizardPrompts* prompts_;
  std::function<QString()> sourcePath_;
  std::function<void(const QString&)> exported_;
  std::uint32_t exportWidth_ = kDefaultWidth;
  bool widthChosen_ = false;
  QString suggested_;  // the file name last suggested, replaced while the user keeps it
  QString written_;
  QLineEdit* widthEdit_;
  QLabel* height_;
  QLabel* estimate_;
  QComboBox* kernel_;
  QComboBox* extent_;
  QCheckBox* antialias_;
  QLineEdit* fileEdit_;
  QPushButton* export_;
  QLabel* status_;
  QPushButton* openFolder_;
};

#endif  // KARTOVEL_APP_PAGE_EXPORT_H_
