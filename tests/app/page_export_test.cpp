// The export page: the width and its default, refusals before any file is touched, exports that
// leave the wizard open (complete, cancelled, unwritable), and the settings that persist.
#include "app/page_export.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/app_fixture.h"
#include "app/output_projection.h"
#include "engine/resolution.h"

namespace {

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class PageExportTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    map_ = WriteGradient(dir_, "map.png", 64, 32);
    OpenAndNext(map_);
    Click(QWizard::NextButton);
    ASSERT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);
  }
  PageExport& Page() { return wizard_->ExportPage(); }
  QLineEdit* Width() { return Page().WidthEdit(); }
  bool StillOpen() {
    return wizard_->isVisible() && wizard_->currentId() == KartovelWizard::kExportPage;
  }
  void ExportTo(const QString& path, const char* width) {
    Page().FileEdit()->setText(path);
    TypeInto(Width(), width);
    QTest::mouseClick(Page().ExportButton(), Qt::LeftButton);
  }
  QString map_;
};

TEST_F(PageExportTest, SuggestsAWidthThatKeepsTheSourcesResolutionAndAFileBesideIt) {
  // A 64 x 32 picture at scale 1 and aspect 1: the world's height (pi radians of latitude) spans
  // half the picture's height, so a 2 pi world takes 32 pixels: 32 x 16 x 4 bytes of file, and
  // the memory of the streamed export (mostly the PNG writer's buffers).
  EXPECT_EQ(Width()->text(), "32");
  EXPECT_EQ(Page().FileEdit()->text(), dir_.filePath("map-equirectangular.png"));
  EXPECT_TRUE(Page().EstimateLabel()->text().startsWith(
      "Needs about 266.3 KiB of memory; the file takes up to 2.0 KiB"))
      << Page().EstimateLabel()->text().toStdString();

  // A typed width stays when the map changes; the suggestion follows it otherwise.
  Click(QWizard::BackButton);
  TypeInto(wizard_->SourcePage().Edit(PageSource::kScale), "2");
  Click(QWizard::NextButton);
  EXPECT_EQ(Width()->text(), "64");
  TypeInto(Width(), "100");
  Click(QWizard::BackButton);
  Click(QWizard::NextButton);
  EXPECT_EQ(Width()->text(), "100");

  // Settings taken before the page was ever shown carry the width it would offer.
  wizard_ = std::make_unique<KartovelWizard>(&prompts_);
  wizard_->show();
  OpenAndNext(map_);
  EXPECT_TRUE(wizard_->CommandLine().contains(" --width 32 ")) << wizard_->CommandLine().toStdString();
}

TEST_F(PageExportTest, WidthTextsThatAreRefused) {
  const struct {
    const char* typed;
    QString message;
  } cases[] = {
      {"abc", QStringLiteral("Enter a positive integer.")},
      {"-5", QStringLiteral("Enter a positive integer.")},
      {"4294967296", QStringLiteral("Enter a positive integer.")},
      {"3", QStringLiteral("The width must be at least 4 pixels.")},
  };
  const QString never = dir_.filePath("never.png");
  for (const auto& c : cases) {
    prompts_.messages.clear();
    ExportTo(never, c.typed);
    EXPECT_TRUE(StillOpen()) << c.typed;
    EXPECT_EQ(prompts_.messages, QStringList{c.message}) << c.typed;
  }
  EXPECT_FALSE(QFileInfo::exists(never));
  // Back reads the width too.
  prompts_.messages.clear();
  TypeInto(Width(), "wide");
  Click(QWizard::BackButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);
  EXPECT_EQ(prompts_.messages, QStringList{"Enter a positive integer."});
}

// The format list and the file name's extension follow each other; the suggested name follows
// the output projection too, and an export gives a name the format's extension.
TEST_F(PageExportTest, FormatAndFileNameFollowEachOther) {
  enum Action { kType, kChoose, kProjection, kExport };
  const struct {
    Action action;
    const char* value;  // a name typed (in the folder), a format, a projection
    const char* file;   // the file edit's name afterwards
    const char* format;
  } steps[] = {
      {kChoose, "GeoTIFF", "map-equirectangular.tif", "GeoTIFF"},
      {kProjection, "Robinson", "map-robinson.tif", "GeoTIFF"},
      {kChoose, "BMP", "map-robinson.bmp", "BMP"},
      {kType, "mine.PNG", "mine.PNG", "PNG"},
      {kType, "mine.tiff", "mine.tiff", "GeoTIFF"},
      {kChoose, "PNG", "mine.png", "PNG"},
      {kProjection, "Mollweide", "mine.png", "PNG"},  // a typed name stays
      {kType, "photo.jpg", "photo.jpg", "PNG"},
      {kExport, "", "photo.jpg.png", "PNG"},  // never a PNG named .jpg
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.value);
    const QString value = QString::fromLatin1(step.value);
    switch (step.action) {
      case kType:
        TypeInto(Page().FileEdit(), dir_.filePath(value));
        break;
      case kChoose:
        Page().FormatChoice()->setCurrentText(value);
        break;
      case kProjection:
        Page().Output().Choice()->setCurrentText(value);
        break;
      case kExport:
        QTest::mouseClick(Page().ExportButton(), Qt::LeftButton);
        EXPECT_TRUE(QFileInfo::exists(dir_.filePath(step.file)));
        break;
    }
    EXPECT_EQ(Page().FileEdit()->text(), dir_.filePath(step.file));
    EXPECT_EQ(Page().FormatChoice()->currentText(), step.format);
  }
  EXPECT_TRUE(prompts_.messages.isEmpty()) << prompts_.messages.join('\n').toStdString();
}

// Export says where the file went and stays; a changed setting exports again; Finish closes.
TEST_F(PageExportTest, ExportStaysOnThePageUntilFinish) {
  const QString path = dir_.filePath("out.png");
  ExportTo(path, "1025");
  EXPECT_TRUE(StillOpen());
  EXPECT_EQ(QImage(path).size(), QSize(1025, 512));
  EXPECT_TRUE(Page().StatusLabel()->text().contains(path));
  ASSERT_TRUE(Page().OpenFolderButton()->isVisible());
  QTest::mouseClick(Page().OpenFolderButton(), Qt::LeftButton);
  EXPECT_EQ(prompts_.openedFolders, QStringList{dir_.path()});
  const QByteArray first = Contents(path);

  Click(QWizard::BackButton);
  TypeInto(wizard_->SourcePage().Edit(PageSource::kLon), "90");
  Click(QWizard::NextButton);
  QTest::mouseClick(Page().ExportButton(), Qt::LeftButton);
  EXPECT_TRUE(prompts_.questions.isEmpty()) << "the file it wrote itself is replaced unasked";
  EXPECT_NE(Contents(path), first);

  // Someone else's file is replaced only when the user agrees.
  const QString other = dir_.filePath("other.png");
  ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(other));
  prompts_.answerYes = false;
  ExportTo(other, "64");
  EXPECT_EQ(prompts_.questions.size(), 1);
  EXPECT_EQ(QImage(other).width(), 4);
  EXPECT_TRUE(prompts_.messages.isEmpty());

  Click(QWizard::FinishButton);
  EXPECT_FALSE(wizard_->isVisible());
}

TEST_F(PageExportTest, UnwritableFileIsReportedAndCancelledExportWritesNothing) {
  const QString unwritable = dir_.filePath("no-such-folder/out.png");
  ExportTo(unwritable, "64");
  EXPECT_TRUE(StillOpen());
  EXPECT_EQ(prompts_.messages, QStringList{QStringLiteral("Cannot write file ") + unwritable +
                                           QStringLiteral(": No such file or directory")});

  const QString big = dir_.filePath("big.png");
  bool sawDialog = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* dialog = Page().findChild<QProgressDialog*>()) {
      sawDialog = true;
      dialog->cancel();
      watch.stop();
    }
  });
  watch.start(5);
  ExportTo(big, "16384");
  EXPECT_TRUE(sawDialog);
  EXPECT_TRUE(StillOpen());
  EXPECT_FALSE(QFileInfo::exists(big));
  EXPECT_EQ(prompts_.messages.size(), 1);
}

// After an export the settings sit beside the picture and come back when it is opened again;
// saved and loaded by hand they give the same file. A folder that takes no sidecar says nothing.
TEST_F(PageExportTest, SettingsPersistBesideThePictureAndInFiles) {
  Click(QWizard::BackButton);
  PageSource& source = wizard_->SourcePage();
  TypeInto(source.Edit(PageSource::kLat), "12.25");
  TypeInto(source.Edit(PageSource::kOffsetY), "0.125");
  Click(QWizard::NextButton);
  Page().KernelChoice()->setCurrentIndex(
      Page().KernelChoice()->findData(static_cast<int>(Kernel::kNearest)));
  const QString before = dir_.filePath("before.png");
  ExportTo(before, "96");
  ASSERT_TRUE(QFileInfo::exists(KartovelWizard::SidecarPath(map_)));

  // A width typed but not exported yet is the one the command line gets.
  TypeInto(Width(), "120");
  EXPECT_TRUE(wizard_->CommandLine().contains(" --width 120 "));
  TypeInto(Width(), "96");

  const QString saved = dir_.filePath("saved.kartovel");
  prompts_.settingsAnswers = {saved};
  QTest::mouseClick(wizard_->button(KartovelWizard::kSaveSettingsButton), Qt::LeftButton);
  const QString commandLine = wizard_->CommandLine();
  EXPECT_TRUE(
      commandLine.startsWith("kartovel-convert --projection 2 --center 12.25,0 --offset "
                             "0,0.125 --scale 1 --aspect 1 --parallels 20,50 "
                             "--width 96 --resample nearest /"))
      << commandLine.toStdString();

  // Another wizard: opening the picture takes its sidecar over.
  wizard_ = std::make_unique<KartovelWizard>(&prompts_);
  wizard_->show();
  OpenAndNext(map_);
  EXPECT_EQ(wizard_->SourcePage().Edit(PageSource::kLat)->text(), "12.25");
  Click(QWizard::NextButton);
  EXPECT_EQ(Width()->text(), "96");
  EXPECT_EQ(Page().Sampling().kernel, Kernel::kNearest);
  const QString fromSidecar = dir_.filePath("sidecar.png");
  ExportTo(fromSidecar, "96");
  EXPECT_EQ(Contents(fromSidecar), Contents(before));

  // Loaded by hand after a change, the saved file brings the export back byte for byte.
  Click(QWizard::BackButton);
  TypeInto(wizard_->SourcePage().Edit(PageSource::kLat), "-40");
  prompts_.settingsAnswers = {saved};
  QTest::mouseClick(wizard_->button(KartovelWizard::kLoadSettingsButton), Qt::LeftButton);
  EXPECT_EQ(wizard_->SourcePage().Edit(PageSource::kLat)->text(), "12.25");
  Click(QWizard::NextButton);
  const QString loaded = dir_.filePath("loaded.png");
  ExportTo(loaded, "96");
  EXPECT_EQ(Contents(loaded), Contents(before));
  EXPECT_TRUE(prompts_.messages.isEmpty()) << prompts_.messages.join('\n').toStdString();

  // A file with lines this version cannot use: the rest is loaded, the others are listed.
  const QString odd = dir_.filePath("odd.kartovel");
  {
    QFile file(odd);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("--scale 0.5\n--sharpen 2\n--aspect x\n--extent 0,50,10,40\n"
               "--output-projection Nowhere\n");
  }
  const double aspect = wizard_->SourceProjection().aspect;
  prompts_.settingsAnswers = {odd};
  QTest::mouseClick(wizard_->button(KartovelWizard::kLoadSettingsButton), Qt::LeftButton);
  EXPECT_EQ(wizard_->SourceProjection().scale, 0.5);
  EXPECT_EQ(wizard_->SourceProjection().aspect, aspect);
  ASSERT_EQ(prompts_.messages.size(), 1);
  EXPECT_TRUE(prompts_.messages[0].contains("line 2: Unknown option --sharpen"));
  EXPECT_TRUE(prompts_.messages[0].contains("line 3: Malformed number for --aspect: x"));
  EXPECT_TRUE(prompts_.messages[0].contains("--extent 0,50,10,40"))
      << prompts_.messages[0].toStdString();
  EXPECT_TRUE(prompts_.messages[0].contains("output projection Nowhere"));
  EXPECT_FALSE(Page().Output().Chosen());

  // A sidecar that cannot be written (a folder in its place) is skipped without a word.
  prompts_.messages.clear();
  QFile::remove(KartovelWizard::SidecarPath(map_));
  ASSERT_TRUE(QDir(dir_.path()).mkdir("map.png.kartovel"));
  ExportTo(dir_.filePath("quiet.png"), "64");
  EXPECT_TRUE(QFileInfo::exists(dir_.filePath("quiet.png")));
  EXPECT_TRUE(prompts_.messages.isEmpty());
}

}  // namespace
