// The toolkit's message box and file dialogs behind WizardPrompts.
#include "app/wizard_prompts.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

namespace {

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

QString WizardPrompts::AskOpenPath(QWidget* parent) {
  QFileDialog dialog(parent);
  SetUpOpenDialog(dialog);
  return ChosenPath(dialog);
}

QString WizardPrompts::AskSavePath(QWidget* parent) {
  QFileDialog dialog(parent);
  SetUpSaveDialog(dialog);
  return ChosenPath(dialog);
}
