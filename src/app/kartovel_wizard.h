// KartovelWizard: the three-page wizard and the state its pages share.
#ifndef KARTOVEL_APP_KARTOVEL_WIZARD_H_
#define KARTOVEL_APP_KARTOVEL_WIZARD_H_

#include <QString>
#include <QWizard>
#include <vector>

#include "app/page_export.h"
#include "app/page_open.h"
#include "app/page_source.h"
#include "app/wizard_prompts.h"
#include "cli/options.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"

// Owns the source image, the source and destination projections (both equirectangular at first)
// and the pages; the pages get plain pointers. The registry must be loaded before construction and
// may be emptied before destruction.
//
// The settings (projection, every value, control points, export width) can be saved to and
// loaded from a settings file: the options of kartovel-convert, one per line. After each export
// they are also written beside the source picture (`map.png.kartovel`, quietly skipped when the
// folder is not writable) and loaded again whenever that picture is opened.
class KartovelWizard : public QWizard {
 public:
  enum PageId { kOpenPage, kSourcePage, kExportPage };
  static constexpr WizardButton kLoadSettingsButton = CustomButton1;
  static constexpr WizardButton kSaveSettingsButton = CustomButton2;
  static constexpr WizardButton kCopyCommandButton = CustomButton3;

  // `prompts` (not owned) replaces the toolkit's message boxes and file dialogs; null keeps them.
  explicit KartovelWizard(WizardPrompts* prompts = nullptr);
  ~KartovelWizard() override;

  PageOpen& OpenPage() { return openPage_; }
  PageSource& SourcePage() { return sourcePage_; }
  PageExport& ExportPage() { return exportPage_; }
  VideoBuffer& SourceImage() { return sourceImage_; }
  MapInstance& SourceProjection() { return sourceProjection_; }
  MapInstance& DestinationProjection() { return destinationProjection_; }

  // Everything a settings file holds, as the wizard has it now.
  Settings CurrentSettings() const;
  // Takes the settings of `path` over; lines that cannot be used change nothing and are listed
  // in a message. False (with a message) when the file cannot be read.
  bool LoadSettings(const QString& path);
  // Writes the current settings to `path`; false when it could not be written.
  bool SaveSettings(const QString& path) const;
  // The kartovel-convert command that makes the same file as an export now would.
  QString CommandLine() const;
  // The settings file that belongs to the picture at `picturePath`.
  static QString SidecarPath(const QString& picturePath) {
    return picturePath + QStringLiteral(".kartovel");
  }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Back leaves the page only when its edits can be read, as Next does.
  void Back();
  void PageChanged(int id);
  void ApplyLoaded(const Settings& loaded, const std::vector<std::string>& ignored,
                   const QString& path);

  WizardPrompts toolkitPrompts_;
  WizardPrompts* prompts_;
  VideoBuffer sourceImage_;
  MapInstance sourceProjection_;
  MapInstance destinationProjection_;
  std::vector<ControlPoint> points_;
  PageOpen openPage_;
  PageSource sourcePage_;
  PageExport exportPage_;
};

#endif  // KARTOVEL_APP_KARTOVEL_WIZARD_H_
