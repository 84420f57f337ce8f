// The source image page: loading on every edit change, browsing, and what Next refuses.
#include "app/page_open.h"

#include <sys/stat.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/app_fixture.h"
#include "app/preview_frame.h"

namespace {

using PageOpenTest = WizardTest;

TEST_F(PageOpenTest, NextRefusesWithoutAValidImage) {
  const QString flat = dir_.filePath("flat.png");  // one pixel high: loads with width 0
  ASSERT_TRUE(QImage(4, 1, QImage::Format_RGB32).save(flat));
  const QString notAnImage = dir_.filePath("notes.png");
  {
    QFile file(notAnImage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
  }
  // A FIFO would block the reader for good: refused at once.
  const QString fifo = dir_.filePath("pipe.png");
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  const struct {
    QString path;
    QString message;
  } cases[] = {
      {QString(), QStringLiteral("Cannot open file : No such file or directory")},
      {dir_.filePath("missing.png"), QStringLiteral("Cannot open file ") +
                                         dir_.filePath("missing.png") +
                                         QStringLiteral(": No such file or directory")},
      {notAnImage, QStringLiteral("Cannot open file ") + notAnImage +
                       QStringLiteral(": not a picture Kartovel reads")},
      {fifo, QStringLiteral("Cannot open file ") + fifo + QStringLiteral(": not a regular file")},
      {flat, QStringLiteral("A valid image file is not open")},
  };
  for (const auto& c : cases) {
    prompts_.messages.clear();
    TypeInto(wizard_->OpenPage().PathEdit(), c.path);
    Click(QWizard::NextButton);
    EXPECT_EQ(wizard_->currentId(), KartovelWizard::kOpenPage) << c.path.toStdString();
    EXPECT_EQ(prompts_.messages, QStringList{c.message}) << c.path.toStdString();
  }
}

TEST_F(PageOpenTest, EveryEditChangeLoadsOrEmptiesTheSource) {
  const QString path = WriteGradient(dir_, "map.png", 40, 20);
  TypeInto(wizard_->OpenPage().PathEdit(), path);
  EXPECT_EQ(wizard_->SourceImage().width, 40);
  EXPECT_EQ(wizard_->SourceImage().height, 20);
  EXPECT_EQ(wizard_->OpenPage().Path(), path);
  // Settings and the command line belong to an open picture.
  const auto offered = [this] {
    return wizard_->button(KartovelWizard::kSaveSettingsButton)->isEnabled() &&
           wizard_->button(KartovelWizard::kCopyCommandButton)->isEnabled();
  };
  EXPECT_TRUE(offered());

  QTest::keyClick(wizard_->OpenPage().PathEdit(), Qt::Key_Backspace);
  EXPECT_FALSE(wizard_->SourceImage().HasStorage());
  EXPECT_FALSE(offered());
  EXPECT_TRUE(prompts_.messages.isEmpty());

  QTest::keyClicks(wizard_->OpenPage().PathEdit(), "g");
  EXPECT_EQ(wizard_->SourceImage().width, 40);
  Click(QWizard::NextButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage);
}

TEST_F(PageOpenTest, BrowseLoadsOrReportsAndFillsTheEdit) {
  const QString good = WriteGradient(dir_, "good.bmp", 30, 10);
  const QString bad = dir_.filePath("bad.gif");
  prompts_.openAnswers = {bad, QString(), good};

  QTest::mouseClick(wizard_->OpenPage().BrowseButton(), Qt::LeftButton);
  EXPECT_EQ(prompts_.messages, QStringList{QStringLiteral("Unable to read image file ") + bad +
                                           QStringLiteral(": No such file or directory")});
  EXPECT_FALSE(wizard_->SourceImage().HasStorage());
  EXPECT_TRUE(wizard_->OpenPage().PathEdit()->text().isEmpty());

  QTest::mouseClick(wizard_->OpenPage().BrowseButton(), Qt::LeftButton);  // cancelled
  EXPECT_TRUE(wizard_->OpenPage().PathEdit()->text().isEmpty());

  QTest::mouseClick(wizard_->OpenPage().BrowseButton(), Qt::LeftButton);
  EXPECT_EQ(wizard_->OpenPage().PathEdit()->text(), good);
  EXPECT_EQ(wizard_->SourceImage().width, 30);
  EXPECT_EQ(prompts_.messages.size(), 1);
}

TEST_F(PageOpenTest, PreviewIsYellowWithoutAnImageAndKeepsTheProportionsOfOne) {
  PageOpen& page = wizard_->OpenPage();
  page.PreviewView()->repaint();
  const VideoBuffer& preview = page.Preview();
  ASSERT_TRUE(preview.HasStorage());
  for (const auto& [x, y] : {std::pair{0, 0}, {preview.width - 1, preview.height - 1}}) {
    EXPECT_EQ(preview.GetPixel(x, y) & 0xFFFFFF, 0x00FFFFu);
  }

  // A 2:1 picture: red top-left quarter, blue elsewhere; shown 2:1 across the frame's width.
  QImage wide(64, 32, QImage::Format_RGB32);
  wide.fill(qRgb(0, 0, 255));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) wide.setPixel(x, y, qRgb(255, 0, 0));
  }
  const QString path = dir_.filePath("wide.png");
  ASSERT_TRUE(wide.save(path));
  page.SetPath(path);
  page.PreviewView()->repaint();
  EXPECT_NEAR(preview.width, 2 * preview.height, 2);
  EXPECT_EQ(preview.width, page.PreviewView()->BufferSize().width() - 2);
  EXPECT_EQ(preview.GetPixel(0, 0) & 0xFFFFFF, 0x0000FFu);  // red, top left
  EXPECT_EQ(preview.GetPixel(preview.width * 3 / 4, preview.height * 3 / 4) & 0xFFFFFF,
            0xFF0000u);  // blue, bottom right
}

// A picture dropped on the window opens (from any page), and a picture taken to the next page
// heads the recent files; the file dialog starts in its folder.
TEST_F(PageOpenTest, DropsOpenAndRecentFilesRemember) {
  const QString first = WriteGradient(dir_, "first.png", 40, 20);
  const QString second = WriteGradient(dir_, "second.png", 30, 30);
  OpenAndNext(first);
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(second)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(wizard_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(wizard_.get(), &drop);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kOpenPage);
  EXPECT_EQ(wizard_->OpenPage().Path(), second);
  EXPECT_EQ(wizard_->SourceImage().width, 30);
  Click(QWizard::NextButton);
  ASSERT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage);
  const QStringList recent = PageOpen::RecentFiles();
  ASSERT_GE(recent.size(), 2);
  EXPECT_EQ(recent.mid(0, 2), (QStringList{second, first}));
  EXPECT_EQ(PageOpen::LastFolder(), dir_.path());
}

// A large picture is read off the user-interface thread behind a dialog whose Cancel gives up:
// the source stays empty and nothing is reported.
TEST_F(PageOpenTest, ReadingALargePictureCanBeCancelled) {
  const QString path = WriteGradient(dir_, "large.png", 4000, 3000);
  bool sawDialog = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* dialog = wizard_->OpenPage().findChild<QProgressDialog*>()) {
      sawDialog = true;
      dialog->cancel();
      watch.stop();
    }
  });
  watch.start(5);
  wizard_->OpenPage().SetPath(path);
  EXPECT_TRUE(sawDialog);
  EXPECT_FALSE(wizard_->SourceImage().HasStorage());
  EXPECT_TRUE(prompts_.messages.isEmpty());
}

}  // namespace
