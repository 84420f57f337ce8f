// The source projection page: edits, buttons, list, drags and leaving the page, driven through the
// real widgets; the checks look at the instance, the edit texts and the messages.
#include "app/page_source.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/app_fixture.h"
#include "app/preview_frame.h"
#include "registry/projection_registry.h"

namespace {

using Field = PageSource::Field;

class PageSourceTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    OpenAndNext(WriteGradient(dir_, "map.png", 200, 100));
  }
  PageSource& Page() { return wizard_->SourcePage(); }
  MapInstance& Instance() { return wizard_->SourceProjection(); }
  QStringList EditTexts() {
    QStringList texts;
    for (int f = 0; f < PageSource::kFieldCount; ++f) texts << Page().Edit(Field(f))->text();
    return texts;
  }
  QPoint ViewCentre() { return Page().SourceView()->geometry().center(); }
  void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers atRelease) {
    QTest::mousePress(&Page(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&Page(), to);
    QTest::mouseRelease(&Page(), Qt::LeftButton, atRelease, to);
  }
  struct Snapshot {
    double lat, lon, x, y, scale, aspect;
  };
  Snapshot Take() {
    const MapInstance& i = Instance();
    return {i.centerLat, i.centerLon, i.offsetX, i.offsetY, i.scale, i.aspect};
  }
};

TEST_F(PageSourceTest, StartsOnTheInstanceWithRoundedEdits) {
  QListWidgetItem* current = Page().ProjectionList()->currentItem();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->text(), QString::fromLatin1(Instance().GetName()));
  EXPECT_EQ(current->data(Qt::UserRole).toInt(), 2);
  EXPECT_EQ(Page().NameValue()->text(), QString::fromLatin1(Instance().GetName()));
  EXPECT_EQ(EditTexts(),
            (QStringList{"0.00000", "0.00000", "0.00000", "0.00000", "1.00000", "1.0000"}));
  // Sorted without regard to case, each item carrying its own type code.
  QListWidget* list = Page().ProjectionList();
  for (int row = 1; row < list->count(); ++row) {
    EXPECT_LE(
        QString::compare(list->item(row - 1)->text(), list->item(row)->text(), Qt::CaseInsensitive),
        0);
  }
  for (int row = 0; row < list->count(); ++row) {
    const int code = list->item(row)->data(Qt::UserRole).toInt();
    EXPECT_EQ(list->item(row)->text().toStdString(), GetProjectionRegistry().GetSlotName(code));
  }
}

TEST_F(PageSourceTest, ButtonsSetValuesAndRewriteEdits) {
  QTest::mouseClick(Page().ZoomInButton(), Qt::LeftButton);
  QTest::mouseClick(Page().ZoomInButton(), Qt::LeftButton);
  EXPECT_EQ(Instance().scale, 0.25);
  QTest::mouseClick(Page().ZoomOutButton(), Qt::LeftButton);
  EXPECT_EQ(Instance().scale, 0.5);

  TypeInto(Page().Edit(PageSource::kLat), "12.5");
  QTest::mouseClick(Page().FitButton(), Qt::LeftButton);
  EXPECT_EQ(EditTexts(),
            (QStringList{"0.00000", "0.00000", "0.00000", "0.00000", "1.00000", "1.0000"}));
  EXPECT_EQ(Page().Value(PageSource::kOffsetX), 0.0);
  EXPECT_DOUBLE_EQ(Instance().offsetX, 0.00001 * Instance().unitFactor);
  EXPECT_EQ(Instance().centerLat, 0.0);
  EXPECT_EQ(Instance().scale, 1.0);
}

TEST_F(PageSourceTest, TypedTextsReachTheInstanceInSinglePrecision) {
  const struct {
    Field field;
    const char* typed;
    double (*stored)(const MapInstance&);
    double expected;
  } cases[] = {
      {PageSource::kLat, "100", [](const MapInstance& i) { return i.centerLat; }, 80.0},
      {PageSource::kLon, "-190", [](const MapInstance& i) { return i.centerLon; }, 170.0},
      {PageSource::kAspect, "0.1", [](const MapInstance& i) { return i.aspect; },
       static_cast<double>(0.1f)},
      {PageSource::kScale, "2.5x", [](const MapInstance& i) { return i.scale; }, 2.5},
      {PageSource::kOffsetY, "0.3", [](const MapInstance& i) { return i.offsetY / i.unitFactor; },
       static_cast<double>(0.3f)},
  };
  for (const auto& c : cases) {
    TypeInto(Page().Edit(c.field), c.typed);
    EXPECT_NEAR(c.stored(Instance()), c.expected, 1e-12) << c.typed;
    EXPECT_EQ(Page().Edit(c.field)->text(), QString::fromLatin1(c.typed)) << "typing is not undone";
  }
  // The rewrites of the other edits show the page values (not the folded instance values).
  EXPECT_EQ(Page().Edit(PageSource::kLat)->text(), "100.00000");
  EXPECT_EQ(Page().Edit(PageSource::kAspect)->text(), "0.10000");

  // The next refresh brings the folded latitude back into the page and its edit.
  QTest::mouseClick(Page().ZoomInButton(), Qt::LeftButton);
  EXPECT_EQ(Page().Value(PageSource::kLat), 80.0);
  EXPECT_EQ(Page().Edit(PageSource::kLat)->text(), "80.00000");
  EXPECT_EQ(Page().Edit(PageSource::kAspect)->text(), "0.1000");
}

TEST_F(PageSourceTest, LettersChangeNothingButRewriteTheOtherEdits) {
  const Snapshot before = Take();
  TypeInto(Page().Edit(PageSource::kScale), "abc");
  const Snapshot after = Take();
  EXPECT_EQ(after.scale, before.scale);
  EXPECT_EQ(after.lat, before.lat);
  EXPECT_EQ(EditTexts(),
            (QStringList{"0.00000", "0.00000", "0.00000", "0.00000", "abc", "1.00000"}));

  // Leaving the page, or the toggle, reads the edits strictly: "Enter a number.".
  Click(QWizard::NextButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage);
  Click(QWizard::BackButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage);
  QTest::mouseClick(Page().CentreButton(), Qt::LeftButton);
  EXPECT_EQ(prompts_.messages, QStringList(3, QStringLiteral("Enter a number.")));

  TypeInto(Page().Edit(PageSource::kScale), "2");
  Click(QWizard::NextButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);
  EXPECT_EQ(prompts_.messages.size(), 3);
}

TEST_F(PageSourceTest, BackAndNextKeepEveryValue) {
  TypeInto(Page().Edit(PageSource::kLon), "45");
  QTest::mouseClick(Page().ZoomInButton(), Qt::LeftButton);
  const QStringList texts = EditTexts();
  const Snapshot before = Take();
  Click(QWizard::NextButton);
  Click(QWizard::BackButton);
  Click(QWizard::BackButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kOpenPage);
  Click(QWizard::NextButton);
  EXPECT_EQ(EditTexts(), texts);
  EXPECT_EQ(Take().lon, before.lon);
  EXPECT_EQ(Take().scale, before.scale);
  EXPECT_TRUE(prompts_.messages.isEmpty());
}

TEST_F(PageSourceTest, SourceViewKeepsTheFirstImageResultFollowsTheNewOne) {
  Page().SourceView()->repaint();
  const VideoBuffer& display = Page().Display();
  const QPoint probe(display.width / 3 + 3, display.height / 3 + 3);  // off the graticule
  const std::uint32_t shown = display.GetPixel(probe.x(), probe.y());

  Click(QWizard::BackButton);
  QImage red(50, 25, QImage::Format_RGB32);
  red.fill(qRgb(255, 0, 0));
  const QString other = dir_.filePath("red.png");
  ASSERT_TRUE(red.save(other));
  OpenAndNext(other);
  QTest::mouseClick(Page().ZoomOutButton(), Qt::LeftButton);
  Page().SourceView()->repaint();
  EXPECT_EQ(display.GetPixel(probe.x(), probe.y()), shown);
  const VideoBuffer& result = Page().Result();
  EXPECT_EQ(result.GetPixel(result.width / 2, result.height / 2), 0xFF0000FFu);
}

TEST_F(PageSourceTest, ChoosingAProjectionKeepsTheParameters) {
  QListWidget* list = Page().ProjectionList();
  const QList<QListWidgetItem*> found = list->findItems("Mercator", Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1);
  TypeInto(Page().Edit(PageSource::kScale), "2");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    list->visualItemRect(found.first()).center());
  EXPECT_EQ(Instance().typeCode, found.first()->data(Qt::UserRole).toInt());
  EXPECT_STREQ(Instance().GetName(), "Mercator");
  EXPECT_EQ(Page().NameValue()->text(), "Mercator");
  EXPECT_EQ(Page().ConformalValue()->text(), "Yes");
  EXPECT_EQ(Page().EqualAreaValue()->text(), "No");
  EXPECT_EQ(Page().PerspectiveValue()->text(), "No");
  EXPECT_EQ(Page().TypeValue()->text(), " Cylindrical");
  EXPECT_EQ(Instance().scale, 2.0);
}

TEST_F(PageSourceTest, AProjectionThatRefusesTheParametersIsReported) {
  // Parallels symmetric about the equator (as a settings file may give them): no cone.
  Instance().parallel1 = -30;
  Instance().parallel2 = 30;
  QListWidget* list = Page().ProjectionList();
  const QList<QListWidgetItem*> found =
      list->findItems("Albers Equal-Area Conic", Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    list->visualItemRect(found.first()).center());
  EXPECT_EQ(prompts_.messages,
            QStringList{"Albers Equal-Area Conic refuses the standard parallels 30, -30 and keeps "
                        "its previous settings."});
}

TEST_F(PageSourceTest, DragMovesOffsetsOrCentreAndShiftCancels) {
  const double span = std::min(Page().SourceView()->width(), Page().SourceView()->height());
  const QPoint from = ViewCentre();
  const int step = static_cast<int>(span / 4);

  // Offsets: a quarter of the span is half a user unit at scale 1 (edits rounded to 4 decimals).
  Drag(from, from + QPoint(step, -step), Qt::NoModifier);
  const double a = step / span;
  EXPECT_NEAR(Page().Value(PageSource::kOffsetX), 2 * a, 1e-4);
  EXPECT_NEAR(Instance().offsetY / Instance().unitFactor, -2 * a * 1.0001, 1e-4);
  EXPECT_EQ(Instance().centerLon, 0.0);

  // Shift at release: the instance goes back exactly; the edits keep the dragged values.
  const Snapshot before = Take();
  const QStringList textsBefore = EditTexts();
  Drag(from, from + QPoint(-2 * step, step), Qt::ShiftModifier);
  const Snapshot after = Take();
  EXPECT_DOUBLE_EQ(after.x, before.x);
  EXPECT_DOUBLE_EQ(after.y, before.y);
  EXPECT_EQ(after.lat, before.lat);
  EXPECT_EQ(after.lon, before.lon);
  EXPECT_NE(EditTexts(), textsBefore);

  // Centre mode: a drag across the span turns the centre by 360 degrees of longitude.
  QTest::mouseClick(Page().CentreButton(), Qt::LeftButton);
  ASSERT_TRUE(Page().CentreMode());
  QTest::mouseClick(Page().FitButton(), Qt::LeftButton);
  Drag(from, from + QPoint(step, step), Qt::NoModifier);
  EXPECT_NEAR(Instance().centerLon, -360 * a, 1e-3);
  EXPECT_NEAR(Instance().centerLat, 180 * a * 1.0001, 1e-3);
  EXPECT_EQ(Instance().offsetY, 0.0);
}

TEST_F(PageSourceTest, PressOutsideTheSourceViewStartsNoDrag) {
  const Snapshot before = Take();
  const QPoint outside = Page().SourceView()->geometry().bottomRight() + QPoint(5, 5);
  Drag(outside, outside + QPoint(-100, -100), Qt::NoModifier);
  const Snapshot after = Take();
  EXPECT_EQ(after.x, before.x);
  EXPECT_EQ(after.y, before.y);
}

TEST_F(PageSourceTest, PreviewsShowGraticuleAndReprojectedSource) {
  // Equirectangular, centre 0/0, offsets 0, scale 1, aspect 0.5: the outer graticule lines lie
  // on the edges of the source view and the result is the source unchanged.
  TypeInto(Page().Edit(PageSource::kOffsetX), "0");
  TypeInto(Page().Edit(PageSource::kAspect), "0.5");
  Page().SourceView()->repaint();
  const VideoBuffer& display = Page().Display();
  ASSERT_TRUE(display.HasStorage());
  EXPECT_EQ(display.GetPixel(0, display.height / 3) & 0xFFFFFF, 0x00FFFFu);
  EXPECT_EQ(display.GetPixel(display.width / 3, 0) & 0xFFFFFF, 0x00FFFFu);
  EXPECT_EQ(display.GetPixel(display.width / 2, display.height / 2) & 0xFFFFFF, 0x00FFFFu);
  EXPECT_NE(display.GetPixel(display.width / 3 + 3, display.height / 3 + 3) & 0xFFFFFF, 0x00FFFFu);

  const VideoBuffer& result = Page().Result();
  ASSERT_TRUE(result.HasStorage());
  const VideoBuffer& source = wizard_->SourceImage();
  for (const auto& [fx, fy] : {std::pair{0.25, 0.25}, {0.5, 0.5}, {0.8, 0.6}}) {
    const std::uint32_t got =
        result.GetPixel(static_cast<int>(fx * result.width), static_cast<int>(fy * result.height));
    const std::uint32_t want =
        source.GetPixel(static_cast<int>(fx * source.width), static_cast<int>(fy * source.height));
    EXPECT_EQ(got >> 24, 0xFFu);
    for (int shift : {0, 8}) {
      EXPECT_NEAR(static_cast<int>(got >> shift & 0xFF), static_cast<int>(want >> shift & 0xFF), 4);
    }
  }
}

}  // namespace

namespace {

// The page on its own with no picture behind it: changes and repaints must leave the previews
// alone instead of reprojecting nothing.
// At the start the list shows the first name, from the top, that begins with the projection's.
TEST(PageSourceWithoutImage, StartsOnTheFirstNameBeginningWithTheProjections) {
  for (const char* name : {"Pointy", "Mollweide", "Sinusoidal"}) {
    VideoBuffer empty;
    MapInstance instance;
    ASSERT_EQ(instance.SelectByName(name), 0) << name;
    RecordingPrompts prompts;
    PageSource page(&empty, &instance, &prompts);
    page.initializePage();
    const QListWidgetItem* current = page.ProjectionList()->currentItem();
    ASSERT_NE(current, nullptr) << name;
    EXPECT_EQ(current->text(), QString::fromLatin1(name));
    EXPECT_EQ(current->data(Qt::UserRole).toInt(), instance.typeCode);
  }
}

TEST(PageSourceWithoutImage, PreviewsStayUntouched) {
  VideoBuffer empty;
  MapInstance instance;
  RecordingPrompts prompts;
  PageSource page(&empty, &instance, &prompts);
  page.show();
  page.initializePage();
  QTest::mouseClick(page.FitButton(), Qt::LeftButton);
  QTest::mouseClick(page.ZoomInButton(), Qt::LeftButton);
  page.SourceView()->repaint();
  page.ResultView()->repaint();
  ASSERT_TRUE(page.Result().HasStorage());
  EXPECT_EQ(page.Result().GetPixel(page.Result().width / 2, page.Result().height / 2), 0u);
  EXPECT_EQ(instance.scale, 0.5);
  EXPECT_TRUE(prompts.messages.isEmpty());
}

}  // namespace

namespace {

// Texts that read as numbers no map can use: the page stays usable and draws what it can.
TEST_F(PageSourceTest, OddNumbersKeepThePageAlive) {
  for (const char* typed : {"nan", "inf", "-inf", "1e308", "0"}) {
    for (int f = 0; f < PageSource::kFieldCount; ++f) {
      TypeInto(Page().Edit(Field(f)), typed);
      Page().SourceView()->repaint();
      Page().ResultView()->repaint();
    }
    QTest::mouseClick(Page().FitButton(), Qt::LeftButton);
  }
  Page().SourceView()->repaint();
  EXPECT_EQ(Instance().scale, 1.0);
}

}  // namespace
