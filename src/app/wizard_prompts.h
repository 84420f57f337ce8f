// Everything the wizard asks of the user outside its pages: messages and the two file dialogs.
// Tests put their own WizardPrompts in place to see the messages and answer the dialogs.
#ifndef KARTOVEL_APP_WIZARD_PROMPTS_H_
#define KARTOVEL_APP_WIZARD_PROMPTS_H_

#include <QString>
#include <string>

class QWidget;

// File dialog filters, in the toolkit's "name (patterns);;name (patterns)" form.
inline constexpr char kOpenImageFilter[] =
    "All Image Files (*.bmp *.png *.jpg *.gif);;Windows Bitmap Files (*.bmp);;"
    "Portable Network Graphics Files (*.png);;JPEG Image Files (*.jpg);;"
    "Graphics Interface Format Files (*.gif*);;All Files (*.*)";
inline constexpr char kSaveImageFilter[] =
    "Portable Network Graphics Files (*.png);;Windows Bitmap Files (*.bmp);;All Files (*.*)";

// A path as the file system wants it (the user's file name encoding).
std::string FilePath(const QString& path);

class WizardPrompts {
 public:
  virtual ~WizardPrompts() = default;
  // A modal box with `text` and an OK button.
  virtual void ShowMessage(QWidget* parent, const QString& text);
  // The chosen existing file's full path, or an empty string when cancelled.
  virtual QString AskOpenPath(QWidget* parent);
  // The chosen file's full path (".png" added when no suffix was typed; the user has agreed to
  // replace an existing file), or an empty string when cancelled.
  virtual QString AskSavePath(QWidget* parent);
};

#endif  // KARTOVEL_APP_WIZARD_PROMPTS_H_
