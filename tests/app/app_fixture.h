// Shared set-up of the wizard tests: an offscreen toolkit, the loaded registry, a wizard whose
// message boxes and file dialogs are recorded and answered by the test, and test pictures.
#ifndef KARTOVEL_TESTS_APP_APP_FIXTURE_H_
#define KARTOVEL_TESTS_APP_APP_FIXTURE_H_

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <ostream>

#include "app/kartovel_wizard.h"
#include "app/wizard_prompts.h"

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

// Messages shown, questions asked and file names handed out, in order.
class RecordingPrompts : public WizardPrompts {
 public:
  void ShowMessage(QWidget*, const QString& text) override { messages << text; }
  bool AskYesNo(QWidget*, const QString& text) override {
    questions << text;
    return answerYes;
  }
  QString AskOpenPath(QWidget*, const QString&) override { return Take(openAnswers); }
  QString AskSavePath(QWidget*, const QString&) override { return Take(saveAnswers); }
  QString AskSettingsPath(QWidget*, bool, const QString&) override { return Take(settingsAnswers); }
  void OpenFolder(const QString& folder) override { openedFolders << folder; }

  QStringList messages;
  QStringList questions;
  bool answerYes = true;
  QStringList openAnswers;  // an empty entry (or none left) is a cancelled dialog
  QStringList saveAnswers;
  QStringList settingsAnswers;
  QStringList openedFolders;

 private:
  static QString Take(QStringList& answers) {
    return answers.isEmpty() ? QString() : answers.takeFirst();
  }
};

// A picture of `width` x `height` with a colour gradient, so that any shift shows; saved under
// `name` in `dir`. Returns the full path.
QString WriteGradient(const QTemporaryDir& dir, const QString& name, int width, int height);

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Clicks the sheet's button and lets the toolkit settle.
  void Click(QWizard::WizardButton which);
  // Types `path` into the path edit (replacing its text) and moves to the source projection page.
  void OpenAndNext(const QString& path);
  // Replaces an edit's text the way a user does: select all, type.
  static void TypeInto(class QLineEdit* edit, const QString& text);

  QTemporaryDir dir_;
  RecordingPrompts prompts_;
  std::unique_ptr<KartovelWizard> wizard_;
};

#endif  // KARTOVEL_TESTS_APP_APP_FIXTURE_H_
