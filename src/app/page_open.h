// PageOpen: the first wizard page, where the user names the source image and sees it stretched.
#ifndef KARTOVEL_APP_PAGE_OPEN_H_
#define KARTOVEL_APP_PAGE_OPEN_H_

#include <QString>
#include <QStringList>
#include <QWizardPage>
#include <functional>

#include "image/video_buffer.h"

class PreviewFrame;
class QLineEdit;
class QPushButton;
class QToolButton;
class WizardPrompts;

class PageOpen : public QWizardPage {
 public:
  static constexpr int kRecentCount = 8;

  // `source` is the wizard's shared source image and `prompts` its user dialogs; neither owned.
  PageOpen(VideoBuffer* source, WizardPrompts* prompts);
  ~PageOpen() override;

  // Puts `path` into the path edit, which loads it (as typing it would).
  void SetPath(const QString& path);
  const QString& Path() const { return path_; }
  const VideoBuffer& Preview() const { return preview_; }
  // Runs each time a picture has loaded, with its path.
  void SetLoadedHook(std::function<void(const QString& path)> loaded) {
    loaded_ = std::move(loaded);
  }
  // Puts `path` first in the recent files (kept in the user's settings) and remembers its folder
  // as the one the file dialogs open in.
  static void Remember(const QString& path);
  static QStringList RecentFiles();
  static QString LastFolder();

  // Next: the image must load and have pixels; otherwise a message and the page stays.
  bool validatePage() override;
  void initializePage() override;

  QLineEdit* PathEdit() const { return pathEdit_; }
  QPushButton* BrowseButton() const { return browse_; }
  QToolButton* RecentButton() const { return recent_; }
  PreviewFrame* PreviewView() const { return frame_; }

 private:
  // Decodes path_ into the source image off the user-interface thread, behind a progress dialog
  // whose Cancel gives up at once (the source is then empty). 0, or the Load result with the
  // reason.
  int LoadSource(QString* reason);
  void Browse();
  void PathChanged(const QString& text);
  void RenderPreview();
  void FillRecentMenu();

  VideoBuffer* source_;
  WizardPrompts* prompts_;
  std::function<void(const QString&)> loaded_;
  QString path_;
  VideoBuffer preview_;
  QLineEdit* pathEdit_;
  QPushButton* browse_;
  QToolButton* recent_;
  PreviewFrame* frame_;
};

#endif  // KARTOVEL_APP_PAGE_OPEN_H_
