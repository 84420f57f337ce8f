// From a Mollweide map of the Earth back to the equirectangular Earth, through the whole wizard.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdio>

#include "app/app_fixture.h"
#include "app/output_projection.h"
#include "app/recognize_action.h"
#include "engine/reproject.h"
#include "registry/map_settings.h"
#include "registry/projection_registry.h"

namespace {

// Peak signal-to-noise ratio in dB over red, green and blue of the pixels of `made` that have a
// source (opaque), against `truth` of the same size; `covered` gets the share of such pixels.
double Psnr(const VideoBuffer& made, const VideoBuffer& truth, double* covered) {
  double sum = 0;
  long long count = 0;
  for (int y = 0; y < made.height; ++y) {
    for (int x = 0; x < made.width; ++x) {
      const std::uint32_t p = made.GetPixel(x, y);
      if (p >> 24 != 0xFF) continue;
      const std::uint32_t q = truth.GetPixel(x, y);
      ++count;
      for (int shift : {0, 8, 16}) {
        const double d =
            static_cast<double>(p >> shift & 0xFF) - static_cast<double>(q >> shift & 0xFF);
        sum += d * d;
      }
    }
  }
  *covered = static_cast<double>(count) / (static_cast<double>(made.width) * made.height);
  return 10 * std::log10(255.0 * 255.0 / (sum / (3.0 * count)));
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs kartovel-convert with `arguments`; its stderr when it fails, otherwise empty.
std::string Convert(const QStringList& arguments) {
  QProcess convert;
  convert.start(QStringLiteral(KARTOVEL_CONVERT), arguments);
  if (!convert.waitForFinished(60000)) return "did not finish";
  if (convert.exitCode() == 0) return std::string();
  return "exit " + std::to_string(convert.exitCode()) + ": " +
         convert.readAllStandardError().toStdString();
}

// The mnemonic letters (Alt+letter) of the buttons and labelled fields a user sees now.
QStringList Mnemonics(const QWidget& window) {
  QStringList letters;
  const auto take = [&](const QString& text, const QString& owner) {
    const qsizetype at = text.indexOf(QRegularExpression(QStringLiteral("&[^&]")));
    if (at >= 0) letters << text.mid(at + 1, 1).toLower() + QStringLiteral(" ") + owner;
  };
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (button->isVisibleTo(&window)) take(button->text(), button->text());
  }
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (label->buddy() && label->isVisibleTo(&window)) take(label->text(), label->text());
  }
  letters.sort(Qt::CaseInsensitive);
  return letters;
}

using EndToEndTest = WizardTest;

TEST_F(EndToEndTest, MollweideEarthComesBackEquirectangular) {
  if (GetProjectionRegistry().FindCode("Mollweide") < 0) GTEST_SKIP() << "no Mollweide type";
  VideoBuffer earth;
  ASSERT_EQ(earth.Load(KARTOVEL_EARTH_IMAGE), 0);

  // The Mollweide oval fills its picture (what Fit makes of it: scale 0.9723, aspect 0.5, no
  // offsets); twice the Earth picture's size, so that the narrow polar caps keep their detail.
  MapInstance mollweide;
  ASSERT_EQ(mollweide.SelectByName("Mollweide"), 0);
  mollweide.scale = 0.9723f;
  mollweide.aspect = 0.5;
  mollweide.SetOffset(0, 0);
  VideoBuffer map;
  ASSERT_EQ(map.Create(2 * earth.width, 2 * earth.height), 0);
  ASSERT_EQ(RenderProjection(earth, mollweide, map), 0);
  const QString mapPath = dir_.filePath("mollweide.png");
  ASSERT_EQ(map.Save(mapPath.toStdString()), 0);

  OpenAndNext(mapPath);
  PageSource& page = wizard_->SourcePage();
  QListWidget* list = page.ProjectionList();
  const QList<QListWidgetItem*> found = list->findItems("Mollweide", Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    list->visualItemRect(found.first()).center());
  QTest::mouseClick(page.FitButton(), Qt::LeftButton);
  EXPECT_EQ(page.Edit(PageSource::kScale)->text(), "0.9723");
  EXPECT_EQ(page.Edit(PageSource::kOffsetX)->text(), "0");
  Click(QWizard::NextButton);
  ASSERT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);

  const QString wizardOut = dir_.filePath("wizard.png");
  wizard_->ExportPage().FileEdit()->setText(wizardOut);
  TypeInto(wizard_->ExportPage().WidthEdit(), "2048");
  QTest::mouseClick(wizard_->ExportPage().ExportButton(), Qt::LeftButton);
  EXPECT_TRUE(prompts_.messages.isEmpty());

  VideoBuffer back;
  ASSERT_EQ(back.Load(wizardOut.toStdString()), 0);
  ASSERT_EQ(back.width, earth.width);
  ASSERT_EQ(back.height, earth.height);
  double covered = 0;
  const double psnr = Psnr(back, earth, &covered);
  std::printf("Mollweide through the wizard: PSNR %.1f dB over %.0f%% of the pixels\n", psnr,
              100 * covered);
  EXPECT_GE(psnr, 30.0);
  // The whole oval is inside the picture: every pixel of the world has a source.
  EXPECT_GT(covered, 0.999);

  // The command line makes the very same file from the same settings.
  const QString cliOut = dir_.filePath("cli.png");
  QProcess convert;
  convert.start(QStringLiteral(KARTOVEL_CONVERT),
                {"--projection", "Mollweide", "--scale", "0.9723", "--aspect", "0.5", "--offset",
                 "0,0", "--width", "2048", mapPath, cliOut});
  ASSERT_TRUE(convert.waitForFinished(120000));
  ASSERT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
  const QByteArray fromWizard = Contents(wizardOut);
  EXPECT_FALSE(fromWizard.isEmpty());
  EXPECT_TRUE(fromWizard == Contents(cliOut));
}

// Values typed north-up in the wizard, and on the command line, give the very file that the
// stored convention (latitudes and the y offset negated) gives.
TEST_F(EndToEndTest, NorthUpEntryEqualsTheStoredConventionNegated) {
  const QString map = WriteGradient(dir_, "map.png", 120, 90);
  OpenAndNext(map);
  PageSource& page = wizard_->SourcePage();
  const struct {
    const char* name;
    QStringList typed;  // lat, lon, x, y, scale, aspect, parallel 1, parallel 2
    const char* options;
  } cases[] = {
      {"Orthographic",
       {"30", "20", "0.05", "0.1", "0.8", "0.6", "20", "50"},
       "--projection Orthographic --center 30,20 --offset 0.05,0.1 --scale 0.8 --aspect 0.6"},
      {"Lambert Conformal Conic",
       {"10", "-15", "0", "-0.2", "0.7", "0.5", "25", "55"},
       "--projection 20 --center 10,-15 --offset 0,-0.2 --scale 0.7 --aspect 0.5 "
       "--parallels 25,55"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QListWidget* list = page.ProjectionList();
    const QList<QListWidgetItem*> found = list->findItems(c.name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    list->setCurrentItem(found.first());
    for (int f = 0; f < PageSource::kFieldCount; ++f) {
      TypeInto(page.Edit(PageSource::Field(f)), c.typed[f]);
    }
    Click(QWizard::NextButton);
    const QString wizardOut = dir_.filePath(QStringLiteral("wizard-%1.png").arg(c.name));
    wizard_->ExportPage().FileEdit()->setText(wizardOut);
    TypeInto(wizard_->ExportPage().WidthEdit(), "200");
    QTest::mouseClick(wizard_->ExportPage().ExportButton(), Qt::LeftButton);

    MapInstance stored;
    ASSERT_EQ(stored.SelectByName(c.name), 0);
    stored.scale = c.typed[4].toFloat();
    stored.aspect = c.typed[5].toFloat();
    stored.SetCenter(-c.typed[0].toFloat(), c.typed[1].toFloat());
    stored.SetOffset(c.typed[2].toFloat(), -c.typed[3].toFloat());
    stored.SetParallels(-c.typed[6].toDouble(), -c.typed[7].toDouble());
    VideoBuffer source;
    ASSERT_EQ(source.Load(map.toStdString()), 0);
    const QString storedOut = dir_.filePath("stored.png");
    ASSERT_EQ(ExportEquirectangular(source, stored, 200, storedOut.toStdString()),
              ExportResult::kOk);
    EXPECT_EQ(Contents(wizardOut), Contents(storedOut));

    const QString cliOut = dir_.filePath("cli.png");
    QProcess convert;
    convert.start(QStringLiteral(KARTOVEL_CONVERT), QString::fromLatin1(c.options).split(' ') +
                                                        QStringList{"--width", "200", map, cliOut});
    ASSERT_TRUE(convert.waitForFinished(60000));
    ASSERT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
    EXPECT_EQ(Contents(cliOut), Contents(storedOut));
    Click(QWizard::BackButton);
  }
  EXPECT_TRUE(prompts_.messages.isEmpty());
}

// The export page's choices (extent, output projection with its height, format) make the file the
// command line makes from the same options, from the copied command line and from the saved
// settings file.
TEST_F(EndToEndTest, ExportChoicesMakeTheCommandLinesFile) {
  const QString map = WriteGradient(dir_, "map.png", 120, 90);
  OpenAndNext(map);
  TypeInto(wizard_->SourcePage().Edit(PageSource::kScale), "2");  // half the world has data
  Click(QWizard::NextButton);
  PageExport& page = wizard_->ExportPage();
  const struct {
    const char* name;
    int extent;               // 0 whole world, 1 only where the map has data
    const char* projection;   // of the output; null: the equirectangular world map
    const char* lon;          // the output's centre longitude typed
    const char* height;       // typed; null: the one that keeps the fitted map's shape
    int format;               // 0 PNG, 1 BMP, 2 GeoTIFF
    const char* file;          // the file written for "out"
    QStringList options;
    QSize size;  // of the PNG and BMP pictures
  } cases[] = {
      {"whole world", 0, nullptr, nullptr, nullptr, 0, "out.png", {}, {200, 100}},
      {"where the map has data", 1, nullptr, nullptr, nullptr, 0, "out.png",
       {"--extent", "data"}, {102, 100}},
      // A chosen type is fitted to fill the picture at its own shape.
      {"Robinson GeoTIFF", 0, "Robinson", "30", nullptr, 2, "out.tif",
       {"--output-projection", "Robinson", "--output-center", "0,30", "--output-aspect",
        "0.5072", "--height", "101"},
       {200, 101}},
      {"Lambert BMP", 0, "Lambert Conformal Conic", "-60", "120", 1, "out.bmp",
       {"--output-projection", "20", "--output-center", "0,-60", "--output-parallels", "20,50",
        "--output-scale", "0.3264", "--output-aspect", "0.8375", "--height", "120"},
       {200, 120}},
  };
  int number = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QDir folder(dir_.filePath(QStringLiteral("case%1").arg(++number)));
    ASSERT_TRUE(folder.mkpath("."));
    page.ExtentChoice()->setCurrentIndex(c.extent);
    QComboBox* output = page.Output().Choice();
    output->setCurrentIndex(c.projection ? output->findText(c.projection) : 0);
    ASSERT_GE(output->currentIndex(), 0);
    // Another projection has no extent and no world file; its height is free.
    EXPECT_EQ(page.ExtentChoice()->isEnabled(), c.projection == nullptr);
    EXPECT_EQ(page.WorldFileToggle()->isEnabled(), c.projection == nullptr);
    // A name without extension gets the format's.
    page.FormatChoice()->setCurrentIndex(c.format);
    page.FileEdit()->setText(folder.filePath("out"));
    TypeInto(page.WidthEdit(), "200");
    if (c.projection) {
      TypeInto(page.Output().Edit(OutputProjectionBox::kLon), c.lon);
      if (c.height) TypeInto(page.HeightEdit(), c.height);
    }
    QTest::mouseClick(page.ExportButton(), Qt::LeftButton);
    ASSERT_TRUE(prompts_.messages.isEmpty()) << prompts_.messages.join('\n').toStdString();
    const QByteArray wizard = Contents(folder.filePath(c.file));
    EXPECT_FALSE(wizard.isEmpty());
    if (c.format != 2) {  // no TIFF reader
      EXPECT_EQ(QImage(folder.filePath(c.file)).size(), c.size);
    }

    const QString typed = folder.filePath(QStringLiteral("typed-") + c.file);
    EXPECT_EQ(Convert(QStringList{"--scale", "2", "--width", "200"} + c.options +
                      QStringList{map, typed}),
              "");
    EXPECT_TRUE(Contents(typed) == wizard);

    const QString copied = folder.filePath(QStringLiteral("copied-") + c.file);
    QStringList words = wizard_->CommandLine().split(' ');
    words.removeFirst();  // the program's name
    words.last() = copied;
    EXPECT_EQ(Convert(words), "") << wizard_->CommandLine().toStdString();
    EXPECT_TRUE(Contents(copied) == wizard);

    const QString settings = folder.filePath("saved.kartovel");
    ASSERT_TRUE(wizard_->SaveSettings(settings));
    const QString loaded = folder.filePath(QStringLiteral("loaded-") + c.file);
    EXPECT_EQ(Convert({"--settings", settings, map, loaded}), "");
    EXPECT_TRUE(Contents(loaded) == wizard);
  }
}

// Recognise on a small Earth map: the page selects the type and takes its settings, off the
// user-interface thread.
TEST_F(EndToEndTest, RecogniseSelectsTheTypeAndFillsTheSettings) {
  VideoBuffer earth;
  ASSERT_EQ(earth.Load(KARTOVEL_EARTH_IMAGE), 0);
  MapInstance mollweide;
  MapSettings settings;
  settings.typeCode = FindProjection("Mollweide");
  settings.centerLon = 20;
  settings.scale = 0.9723;
  settings.aspect = 0.5;
  ASSERT_EQ(ApplySettings(settings, &mollweide), 0);
  VideoBuffer map;
  ASSERT_EQ(map.Create(512, 256), 0);
  ASSERT_EQ(RenderProjection(earth, mollweide, map), 0);
  const QString mapPath = dir_.filePath("mollweide.png");
  ASSERT_EQ(map.Save(mapPath.toStdString()), 0);

  OpenAndNext(mapPath);
  PageSource& page = wizard_->SourcePage();
  TypeInto(page.SearchEdit(), "equirect");  // the search hides the type to be found
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(page.Recognise()->Button(), Qt::LeftButton);
  EXPECT_TRUE(page.Recognise()->Running());
  QTRY_VERIFY_WITH_TIMEOUT(!page.Recognise()->Running(), 120000);
  std::printf("Recognised in %.1f s: %s\n", clock.elapsed() / 1000.0,
              page.Recognise()->Status()->text().toStdString().c_str());
  EXPECT_TRUE(page.Recognise()->Status()->text().startsWith("Recognised: Mollweide (score"));
  ASSERT_NE(page.ProjectionList()->currentItem(), nullptr);
  EXPECT_EQ(page.ProjectionList()->currentItem()->text(), "Mollweide");
  EXPECT_FALSE(page.ProjectionList()->currentItem()->isHidden());
  EXPECT_EQ(page.SearchEdit()->text(), "");
  const struct {
    PageSource::Field field;
    double value, tolerance;
  } expected[] = {{PageSource::kLon, 20, 1},
                  {PageSource::kScale, 0.9723, 0.01},
                  {PageSource::kAspect, 0.5, 0.01}};
  for (const auto& e : expected) {
    EXPECT_NEAR(page.Edit(e.field)->text().toDouble(), e.value, e.tolerance) << e.field;
  }
  // Found values read as people write them: no solver noise such as 4.7873702e-05.
  for (int f = 0; f < PageSource::kFieldCount; ++f) {
    const QString text = page.Edit(PageSource::Field(f))->text();
    EXPECT_FALSE(text.contains('e') || text.section('.', 1).size() > 6) << text.toStdString();
  }
  // Once the user changes a setting, the score no longer describes the map shown.
  page.Edit(PageSource::kScale)->setText("0.9");
  EXPECT_EQ(page.Recognise()->Status()->text(), "");
}

// On every page each Alt+letter belongs to one control: a letter shared by two only moves the
// focus between them (Alt+B on the export page never went Back while Browse had it too).
TEST_F(EndToEndTest, EveryPageGivesEachMnemonicToOneControl) {
  OpenAndNext(WriteGradient(dir_, "map.png", 64, 32));
  for (int page = KartovelWizard::kSourcePage; page <= KartovelWizard::kExportPage; ++page) {
    if (page == KartovelWizard::kExportPage) {
      Click(QWizard::NextButton);
      // With another output projection, its settings show too.
      wizard_->ExportPage().Output().Choice()->setCurrentText("Albers Equal-Area Conic");
    }
    const QStringList letters = Mnemonics(*wizard_);
    for (qsizetype i = 1; i < letters.size(); ++i) {
      EXPECT_NE(letters[i].left(1), letters[i - 1].left(1))
          << "page " << page << ": " << letters[i - 1].toStdString() << " and "
          << letters[i].toStdString();
    }
  }
}

}  // namespace
