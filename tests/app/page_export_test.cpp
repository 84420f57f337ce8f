// The export page: the width exchange, refusals before any file is touched, and the export itself
// (complete, cancelled, unwritable) behind Finish.
#include "app/page_export.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include "app/app_fixture.h"

namespace {

class PageExportTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    OpenAndNext(WriteGradient(dir_, "map.png", 64, 32));
    Click(QWizard::NextButton);
    ASSERT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);
  }
  QLineEdit* Width() { return wizard_->ExportPage().WidthEdit(); }
  bool StillOpen() {
    return wizard_->isVisible() && wizard_->currentId() == KartovelWizard::kExportPage;
  }
};

TEST_F(PageExportTest, WidthTextsThatAreRefused) {
  EXPECT_EQ(Width()->text(), "1024");
  const struct {
    const char* typed;
    QString message;
  } cases[] = {
      {"abc", QStringLiteral("Enter a positive integer.")},
      {"-5", QStringLiteral("Enter a positive integer.")},
      {"12x", QStringLiteral("Enter a positive integer.")},
      {"4294967296", QStringLiteral("Enter a positive integer.")},
      {"3", QStringLiteral("The width must be at least 4 pixels.")},
      {"0", QStringLiteral("The width must be at least 4 pixels.")},
  };
  prompts_.saveAnswers = {dir_.filePath("never.png")};
  for (const auto& c : cases) {
    prompts_.messages.clear();
    TypeInto(Width(), c.typed);
    Click(QWizard::FinishButton);
    EXPECT_TRUE(StillOpen()) << c.typed;
    EXPECT_EQ(prompts_.messages, QStringList{c.message}) << c.typed;
  }
  EXPECT_EQ(prompts_.saveAnswers.size(), 1) << "no file dialog before the width is good";
  EXPECT_FALSE(QFileInfo::exists(dir_.filePath("never.png")));

  // Back reads the width too.
  prompts_.messages.clear();
  TypeInto(Width(), "wide");
  Click(QWizard::BackButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);
  EXPECT_EQ(prompts_.messages, QStringList{"Enter a positive integer."});
}

TEST_F(PageExportTest, FinishWritesWidthByHalfWidthAndCloses) {
  const struct {
    const char* width;
    const char* name;
    QSize size;
  } cases[] = {
      {"1025", "odd.png", QSize(1025, 512)},
      {"64", "small.bmp", QSize(64, 32)},
  };
  for (const auto& c : cases) {
    const QString path = dir_.filePath(c.name);
    prompts_.saveAnswers = {path};
    TypeInto(Width(), c.width);
    Click(QWizard::FinishButton);
    EXPECT_FALSE(wizard_->isVisible()) << c.name;
    const QImage written(path);
    EXPECT_EQ(written.size(), c.size) << c.name;
    // Reopen on the export page for the next case.
    wizard_->show();
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(prompts_.messages.isEmpty());
}

TEST_F(PageExportTest, CancelledFileDialogClosesWithoutAFile) {
  prompts_.saveAnswers = {QString()};
  Click(QWizard::FinishButton);
  EXPECT_FALSE(wizard_->isVisible());
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"map.png"});
}

TEST_F(PageExportTest, UnwritableFileIsReportedAndTheWizardStays) {
  const QString path = dir_.filePath("no-such-folder/out.png");
  prompts_.saveAnswers = {path};
  Click(QWizard::FinishButton);
  EXPECT_TRUE(StillOpen());
  EXPECT_EQ(prompts_.messages, QStringList{QStringLiteral("Cannot write file ") + path +
                                           QStringLiteral(": No such file or directory")});
}

TEST_F(PageExportTest, CancelledExportWritesNoFile) {
  const QString path = dir_.filePath("big.png");
  prompts_.saveAnswers = {path};
  TypeInto(Width(), "16384");
  bool sawDialog = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* dialog = wizard_->ExportPage().findChild<QProgressDialog*>()) {
      sawDialog = true;
      dialog->cancel();
      watch.stop();
    }
  });
  watch.start(5);
  Click(QWizard::FinishButton);
  EXPECT_TRUE(sawDialog);
  EXPECT_TRUE(StillOpen());
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_TRUE(prompts_.messages.isEmpty());
}

}  // namespace
