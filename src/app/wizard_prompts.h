// Everything the wizard asks of the user outside its pages: messages and the two file dialogs.
// Tests put their own WizardPrompts in place to see the messages and answer the dialogs.
#ifndef KARTOVEL_APP_WIZARD_PROMPTS_H_
#define KARTOVEL_APP_WIZARD_PROMPTS_H_

#include <QString>
#include <QStringList>
#include <string>

class QFileDialog;
class QWidget;

// File dialog filters as "description|patterns|description|patterns|...||", patterns separated by
// ';'. The descriptions are what the user sees.
inline constexpr char kOpenImageFilter[] =
    "All Image Files (*.bmp;*.png;*.jpg;*.gif)|*.bmp;*.png;*.jpg;*.gif|"
    "Windows Bitmap Files (*.bmp)|*.bmp|Portable Network Graphics Files (*.png)|*.png|"
    "JPEG Image Files (*.jpg)|*.jpg|Graphics Interface Format Files (*.gif*)|*.gif|"
    "All Files (*.*)|*.*||";
inline constexpr char kSaveImageFilter[] =
    "Portable Network Graphics Files (*.png)|*.png|Windows Bitmap Files (*.bmp)|*.bmp|"
    "GeoTIFF Files (*.tif)|*.tif;*.tiff|"
    "All Files (*.*)|*.*||";
inline constexpr char kSettingsFilter[] =
    "Kartovel Settings (*.kartovel)|*.kartovel|All Files (*.*)|*.*||";

// The toolkit's name filters for such a string: "description (patterns)" with the patterns
// separated by blanks, as the toolkit reads them; "*.*" becomes "*" so that it also takes names
// without a dot. Shown with QFileDialog::HideNameFilterDetails, only the description is seen.
QStringList NameFilters(const char* filter);

// The open dialog of the source image page (an existing file, default suffix "bmp") and the save
// dialog of the export page (default suffix "png", asks before replacing a file), set up but not
// shown.
void SetUpOpenDialog(QFileDialog& dialog);
void SetUpSaveDialog(QFileDialog& dialog);

// A path as the file system wants it (the user's file name encoding).
std::string FilePath(const QString& path);

class WizardPrompts {
 public:
  virtual ~WizardPrompts() = default;
  // A modal box with `text` and an OK button.
  virtual void ShowMessage(QWidget* parent, const QString& text);
  // A modal question with Yes and No; true for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text);
  // The chosen existing file's full path, or an empty string when cancelled. The dialog opens in
  // `folder` when it is not empty.
  virtual QString AskOpenPath(QWidget* parent, const QString& folder = QString());
  // The chosen file's full path (".png" added when no suffix was typed; the user has agreed to
  // replace an existing file), or an empty string when cancelled. The dialog starts on
  // `suggested` (a full path) when it is not empty.
  virtual QString AskSavePath(QWidget* parent, const QString& suggested = QString());
  // A settings file to write (`save`, ".kartovel" added when no suffix was typed) or to read;
  // the dialog starts on `suggested`. Empty when cancelled.
  virtual QString AskSettingsPath(QWidget* parent, bool save, const QString& suggested);
  // Shows `folder` in the desktop's file manager.
  virtual void OpenFolder(const QString& folder);
};

#endif  // KARTOVEL_APP_WIZARD_PROMPTS_H_
