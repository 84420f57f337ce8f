// KartovelWizard: the three-page wizard and the state its pages share.
#ifndef KARTOVEL_APP_KARTOVEL_WIZARD_H_
#define KARTOVEL_APP_KARTOVEL_WIZARD_H_

#include <QWizard>

#include "app/page_export.h"
#include "app/page_open.h"
#include "app/page_source.h"
#include "app/wizard_prompts.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"

// Owns the source image, the source and destination projections (both equirectangular at first)
// and the pages; the pages get plain pointers. The registry must be loaded before construction and
// may be emptied before destruction.
class KartovelWizard : public QWizard {
 public:
  enum PageId { kOpenPage, kSourcePage, kExportPage };

  // `prompts` (not owned) replaces the toolkit's message boxes and file dialogs; null keeps them.
  explicit KartovelWizard(WizardPrompts* prompts = nullptr);
  ~KartovelWizard() override;

  PageOpen& OpenPage() { return openPage_; }
  PageSource& SourcePage() { return sourcePage_; }
  PageExport& ExportPage() { return exportPage_; }
  VideoBuffer& SourceImage() { return sourceImage_; }
  MapInstance& SourceProjection() { return sourceProjection_; }
  MapInstance& DestinationProjection() { return destinationProjection_; }

 private:
  // Back leaves the page only when its edits can be read, as Next does.
  void Back();

  WizardPrompts toolkitPrompts_;
  VideoBuffer sourceImage_;
  MapInstance sourceProjection_;
  MapInstance destinationProjection_;
  PageOpen openPage_;
  PageSource sourcePage_;
  PageExport exportPage_;
};

#endif  // KARTOVEL_APP_KARTOVEL_WIZARD_H_
