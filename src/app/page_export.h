// PageExport: the last wizard page, where the user picks the width and exports the picture.
#ifndef KARTOVEL_APP_PAGE_EXPORT_H_
#define KARTOVEL_APP_PAGE_EXPORT_H_

#include <QWizardPage>
#include <cstdint>

#include "engine/export.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"

class QLineEdit;
class QRadioButton;
class WizardPrompts;

class PageExport : public QWizardPage {
 public:
  static constexpr std::uint32_t kDefaultWidth = 1024;
  static constexpr std::uint32_t kMinimumWidth = 4;  // both sides at least 2 pixels

  // The wizard's source image, source and destination projections (the last one unused) and its
  // user dialogs; none owned.
  PageExport(VideoBuffer* source, MapInstance* instance, MapInstance* destination,
             WizardPrompts* prompts);

  void initializePage() override;
  // Finish: asks for a file name and exports width x width/2 pixels off the user-interface thread
  // behind a progress dialog that can cancel. True closes the wizard: after a complete export or
  // when the file dialog was cancelled. The wizard stays on a bad width, a cancelled export (no
  // file written) or a failed write (reported).
  bool validatePage() override;
  // Reads the width edit; on anything but an unsigned number "Enter a positive integer.", false.
  bool ExchangeFromControls();

  std::uint32_t ExportWidth() const { return exportWidth_; }
  QLineEdit* WidthEdit() const { return widthEdit_; }
  // "Only where the map has data": the export is cut to the box of pixels the map covers.
  QRadioButton* DataOnlyButton() const { return dataOnly_; }

 private:
  ExportResult RunExport(const QString& path);

  VideoBuffer* source_;
  MapInstance* instance_;
  MapInstance* destination_;
  WizardPrompts* prompts_;
  std::uint32_t exportWidth_ = kDefaultWidth;
  QLineEdit* widthEdit_;
  QRadioButton* wholeWorld_;
  QRadioButton* dataOnly_;
};

#endif  // KARTOVEL_APP_PAGE_EXPORT_H_
