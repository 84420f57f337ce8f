// From a Mollweide map of the Earth back to the equirectangular Earth, through the whole wizard.
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdio>

#include "app/app_fixture.h"
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
  TypeInto(page.Edit(PageSource::kOffsetX), "0");
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

}  // namespace
