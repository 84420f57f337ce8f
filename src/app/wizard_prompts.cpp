// The toolkit's message box and file dialogs behind WizardPrompts.
#include "app/wizard_prompts.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace {

// Starts the dialog in the folder of `path`, on its file name when it has one.
void StartOn(QFileDialog& dialog, const QString& path) {
  if (path.isEmpty()) return;
  const QFileInfo info(path);
  if (info.isDir()) {
    dialog.setDirectory(path);
    return;
  }
  dialog.setDirectory(info.absolutePath());
  dialog.selectFile(info.fileName());
}

QString ChosenPath(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

}  // namespace

QStringList NameFilters(const char* filter) {
  const QStringList parts = QString::fromLatin1(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
    }
    filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters;
}

void SetUpOpenDialog(QFileDialog& dialog) {
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters(NameFilters(kOpenImageFilter));
  dialog.setDefaultSuffix(QStringLiteral("bmp"));
}

void SetUpSaveDialog(QFileDialog& dialog) {
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters(NameFilters(kSaveImageFilter));
  dialog.setDefaultSuffix(QStringLiteral("png"));
}

std::string FilePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

void WizardPrompts::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QStringLiteral("Kartovel"), text, QMessageBox::Ok);
}

bool WizardPrompts::AskYesNo(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, QStringLiteral("Kartovel"), text) == QMessageBox::Yes;
}

QString WizardPrompts::AskOpenPath(QWidget* parent, const QString& folder) {
  QFileDialog dialog(parent);
  SetUpOpenDialog(dialog);
  StartOn(dialog, folder);
  return ChosenPath(dialog);
}

QString WizardPrompts::AskSavePath(QWidget* parent, const QString& suggested) {
  QFileDialog dialog(parent);
  SetUpSaveDialog(dialog);
  StartOn(dialog, suggested);
  return ChosenPath(dialog);
}

QString WizardPrompts::AskSettingsPath(QWidget* parent, bool save, const QString& suggested) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters(NameFilters(kSettingsFilter));
  dialog.setDefaultSuffix(QStringLiteral("kartovel"));
  StartOn(dialog, suggested);
  return ChosenPath(dialog);
}

void WizardPrompts::OpenFolder(const QString& folder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
