// The source projection page: edits in the north-up convention, buttons, the searchable list,
// drags at several zooms, Enter, and leaving the page, driven through the real widgets.
#include "app/page_source.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cmath>

#include "app/app_fixture.h"
#include "app/preview_frame.h"
#include "app/source_view.h"
#include "engine/reproject.h"
#include "projection/map_project.h"
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
  SourceView& View() { return *Page().SourceViewWidget(); }
  MapInstance& Instance() { return wizard_->SourceProjection(); }
  QStringList EditTexts() {
    QStringList texts;
    for (int f = 0; f < PageSource::kFieldCount; ++f) texts << Page().Edit(Field(f))->text();
    return texts;
  }
  void Choose(const char* name) {
    QListWidget* list = Page().ProjectionList();
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name;
    list->scrollToItem(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(found.first()).center());
  }
  void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers atRelease = Qt::NoModifier) {
    QTest::mousePress(&View(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&View(), to);
    QTest::mouseRelease(&View(), Qt::LeftButton, atRelease, to);
  }
  // Where the instance puts (north-positive latitude, longitude) in the view's pixels.
  QPointF InView(double latitude, double longitude) {
    double x = 0, y = 0;
    EXPECT_EQ(Instance().projection->Forward(StoredLatitude(latitude) * Projection::kDegToRad,
                                             longitude * Projection::kDegToRad, &x, &y),
              0);
    const QSize size = View().SourceSize();
    const Placement place(Instance(), size.width(), size.height());
    return View().ToView(QPointF(place.X(x), place.Y(y)));
  }
};

TEST_F(PageSourceTest, StartsOnTheInstanceShowingNorthUpValues) {
  QListWidgetItem* current = Page().ProjectionList()->currentItem();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->data(Qt::UserRole).toInt(), 2);
  EXPECT_EQ(Page().NameValue()->text(), QString::fromLatin1(Instance().GetName()));
  EXPECT_EQ(EditTexts(), (QStringList{"0", "0", "0", "0", "1", "1", "20", "50"}));
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
  // Tall enough for a dozen names.
  EXPECT_GE(list->height(), 12 * list->fontMetrics().height());
}

// What is typed is what people write; the instance holds latitudes and the y offset negated.
TEST_F(PageSourceTest, TypedValuesAreNorthUpAndReachTheInstanceNegated) {
  Choose("Lambert Conformal Conic");
  EXPECT_TRUE(Page().Edit(PageSource::kParallel1)->isEnabled());
  const struct {
    Field field;
    const char* typed;
    double (*stored)(const MapInstance&);
    double expected;
  } cases[] = {
      {PageSource::kLat, "30", [](const MapInstance& i) { return i.centerLat; }, -30.0},
      {PageSource::kLon, "-190", [](const MapInstance& i) { return i.centerLon; }, 170.0},
      {PageSource::kOffsetY, "0.3", [](const MapInstance& i) { return i.offsetY / i.unitFactor; },
       -static_cast<double>(0.3f)},
      {PageSource::kAspect, "0.1", [](const MapInstance& i) { return i.aspect; },
       static_cast<double>(0.1f)},
      {PageSource::kParallel1, "25.5", [](const MapInstance& i) { return i.parallel1; }, -25.5},
      {PageSource::kParallel2, "60", [](const MapInstance& i) { return i.parallel2; }, -60.0},
  };
  for (const auto& c : cases) {
    TypeInto(Page().Edit(c.field), c.typed);
    EXPECT_NEAR(c.stored(Instance()), c.expected, 1e-12) << c.typed;
    EXPECT_EQ(Page().Edit(c.field)->text(), QString::fromLatin1(c.typed)) << "typing is not undone";
  }
  // A latitude past the pole comes back folded at the next refresh.
  TypeInto(Page().Edit(PageSource::kLat), "100");
  QTest::mouseClick(Page().ZoomInButton(), Qt::LeftButton);
  EXPECT_EQ(Page().Edit(PageSource::kLat)->text(), "80");
  EXPECT_EQ(Instance().centerLat, -80);

  Choose("Mercator");
  EXPECT_FALSE(Page().Edit(PageSource::kParallel1)->isEnabled());
  EXPECT_EQ(Page().TypeValue()->text(), "Cylindrical");
  EXPECT_EQ(Page().ConformalValue()->text(), "Yes");
}

TEST_F(PageSourceTest, ButtonsSetValuesAndRewriteEdits) {
  QTest::mouseClick(Page().ZoomInButton(), Qt::LeftButton);
  QTest::mouseClick(Page().ZoomInButton(), Qt::LeftButton);
  EXPECT_EQ(Instance().scale, 0.25);
  QTest::mouseClick(Page().ZoomOutButton(), Qt::LeftButton);
  EXPECT_EQ(Instance().scale, 0.5);
  EXPECT_EQ(Page().Edit(PageSource::kScale)->text(), "0.5");

  // Fit: the whole map fills the picture.
  const struct {
    const char* name;
    const char* scale;
    const char* aspect;
  } fits[] = {
      {"Equirectangular", "1", "0.5"},
      {"Mollweide", "0.9723", "0.5"},  // the ellipse reaches 1.0285 x 0.5143 user units
      {"Orthographic", "1", "1"},      // the visible hemisphere
  };
  for (const auto& f : fits) {
    Choose(f.name);
    TypeInto(Page().Edit(PageSource::kLat), "12.5");
    QTest::mouseClick(Page().FitButton(), Qt::LeftButton);
    EXPECT_EQ(Page().Edit(PageSource::kLat)->text(), "0") << f.name;
    EXPECT_EQ(Page().Edit(PageSource::kScale)->text(), f.scale) << f.name;
    EXPECT_EQ(Page().Edit(PageSource::kAspect)->text(), f.aspect) << f.name;
    EXPECT_EQ(Instance().centerLat, 0.0);
  }
}

TEST_F(PageSourceTest, SearchNarrowsTheListAndEnterTakesTheFirstLeft) {
  TypeInto(Page().SearchEdit(), "moll");
  QListWidget* list = Page().ProjectionList();
  QStringList shown;
  for (int row = 0; row < list->count(); ++row) {
    if (!list->item(row)->isHidden()) shown << list->item(row)->text();
  }
  ASSERT_FALSE(shown.isEmpty());
  for (const QString& name : shown) EXPECT_TRUE(name.contains("Moll", Qt::CaseInsensitive));
  // A name that starts with the text goes before one that only contains it.
  QTest::keyClick(Page().SearchEdit(), Qt::Key_Return);
  EXPECT_EQ(QString::fromLatin1(Instance().GetName()), "Mollweide");
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage);

  // Coming back to the page (which fills the list anew) keeps it narrowed as the search says.
  Click(QWizard::BackButton);
  Click(QWizard::NextButton);
  EXPECT_EQ(Page().SearchEdit()->text(), "moll");
  int stillShown = 0;
  for (int row = 0; row < list->count(); ++row) stillShown += !list->item(row)->isHidden();
  EXPECT_EQ(stillShown, shown.size());
}

// Enter applies what was typed and never presses Next, on any page.
TEST_F(PageSourceTest, EnterAppliesAndStaysOnThePage) {
  for (int f = 0; f < PageSource::kFieldCount; ++f) {
    TypeInto(Page().Edit(Field(f)), "0.5");
    QTest::keyClick(Page().Edit(Field(f)), Qt::Key_Return);
    QTest::keyClick(Page().Edit(Field(f)), Qt::Key_Enter);
    QCoreApplication::processEvents();
    EXPECT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage) << f;
  }
  EXPECT_EQ(Instance().scale, 0.5);
  Click(QWizard::NextButton);
  ASSERT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);
  QTest::keyClick(wizard_->ExportPage().WidthEdit(), Qt::Key_Return);
  EXPECT_TRUE(wizard_->isVisible());
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);
  EXPECT_TRUE(prompts_.messages.isEmpty());
}

TEST_F(PageSourceTest, LettersChangeNothingAndLeavingAsksForANumber) {
  const double scale = Instance().scale;
  TypeInto(Page().Edit(PageSource::kScale), "abc");
  EXPECT_EQ(Instance().scale, scale);
  Click(QWizard::NextButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage);
  Click(QWizard::BackButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage);
  EXPECT_EQ(prompts_.messages, QStringList(2, QStringLiteral("Enter a number.")));
  TypeInto(Page().Edit(PageSource::kScale), "2");
  Click(QWizard::NextButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kExportPage);
}

TEST_F(PageSourceTest, BackAndNextKeepEveryValue) {
  TypeInto(Page().Edit(PageSource::kLon), "45");
  QTest::mouseClick(Page().ZoomInButton(), Qt::LeftButton);
  const QStringList texts = EditTexts();
  Click(QWizard::NextButton);
  Click(QWizard::BackButton);
  Click(QWizard::BackButton);
  EXPECT_EQ(wizard_->currentId(), KartovelWizard::kOpenPage);
  Click(QWizard::NextButton);
  EXPECT_EQ(EditTexts(), texts);
  EXPECT_EQ(Instance().centerLon, 45);
  EXPECT_TRUE(prompts_.messages.isEmpty());
}

// The map follows the hand at any zoom: the point under the press ends under the release, and in
// centre mode the globe turns with the hand (pulling down brings the north into view).
TEST_F(PageSourceTest, DraggingGrabsTheMapAtEveryZoom) {
  Choose("Mollweide");
  TypeInto(Page().Edit(PageSource::kAspect), "0.5");
  for (const double zoom : {1.0, 4.0}) {
    SCOPED_TRACE(zoom);
    View().ShowWhole();
    View().ZoomBy(zoom);
    const QPointF before = InView(20, 10);
    const QPoint from = before.toPoint();
    const QPoint move(17, 11);
    Drag(from, from + move);
    const QPointF after = InView(20, 10);
    EXPECT_NEAR(after.x() - before.x(), move.x(), 0.3);
    EXPECT_NEAR(after.y() - before.y(), move.y(), 0.3);
    EXPECT_LT(Page().Value(PageSource::kOffsetY), 0) << "down is a smaller y offset";

    // Shift at the release puts everything back, edits included.
    const QStringList texts = EditTexts();
    Drag(from, from + QPoint(-30, 25), Qt::ShiftModifier);
    EXPECT_EQ(EditTexts(), texts);
    EXPECT_NEAR(InView(20, 10).x(), after.x(), 1e-9);
    QTest::mouseClick(Page().FitButton(), Qt::LeftButton);
    TypeInto(Page().Edit(PageSource::kAspect), "0.5");
  }
  QTest::mouseClick(Page().CentreButton(), Qt::LeftButton);
  std::vector<double> turned;
  for (const double zoom : {1.0, 4.0}) {
    View().ShowWhole();
    View().ZoomBy(zoom);
    const QPoint from = InView(0, 0).toPoint();
    Drag(from, from + QPoint(20, 20));
    EXPECT_GT(Page().Value(PageSource::kLat), 0) << zoom;
    EXPECT_LT(Page().Value(PageSource::kLon), 0) << zoom;
    turned.push_back(Page().Value(PageSource::kLat));
    QTest::mouseClick(Page().FitButton(), Qt::LeftButton);
    TypeInto(Page().Edit(PageSource::kAspect), "0.5");
  }
  // Four times the zoom turns the globe a quarter as far for the same hand movement.
  EXPECT_NEAR(turned[1], turned[0] / 4, 0.01);
}

TEST_F(PageSourceTest, ViewZoomsAboutTheCursorAndPansWithTheOtherButtons) {
  View().ShowWhole();
  const QPoint anchor(View().width() / 3, View().height() / 3);
  const QPointF under = View().ToSource(anchor);
  QWheelEvent wheel(anchor, View().mapToGlobal(anchor), QPoint(), QPoint(0, 240), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(&View(), &wheel);
  EXPECT_NEAR(View().Zoom() / (std::min(View().width() / 200.0, View().height() / 100.0)), 1.5625,
              1e-9);
  EXPECT_NEAR((View().ToSource(anchor) - under).manhattanLength(), 0, 1e-9);

  const QPointF origin = View().Origin();
  QTest::mousePress(&View(), Qt::RightButton, Qt::NoModifier, anchor);
  QTest::mouseMove(&View(), anchor + QPoint(10, 0));
  QTest::mouseRelease(&View(), Qt::RightButton, Qt::NoModifier, anchor + QPoint(10, 0));
  EXPECT_NEAR(View().Origin().x(), origin.x() - 10 / View().Zoom(), 1e-9);
  EXPECT_EQ(Page().Edit(PageSource::kOffsetX)->text(), "0") << "panning fits nothing";

  QTest::keyClick(&View(), Qt::Key_1);
  EXPECT_NEAR(View().Zoom() * View().devicePixelRatioF(), 1, 1e-9);
}

TEST_F(PageSourceTest, ResultShowsTheWholeWorldReprojected) {
  // Equirectangular, centre 0/0, offsets 0, scale 1, aspect 0.5: the result is the source.
  TypeInto(Page().Edit(PageSource::kOffsetX), "0");
  TypeInto(Page().Edit(PageSource::kAspect), "0.5");
  Page().ResultView()->repaint();
  const VideoBuffer& result = Page().Result();
  ASSERT_TRUE(result.HasStorage());
  EXPECT_EQ(result.width, 2 * result.height);
  const VideoBuffer& source = wizard_->SourceImage();
  for (const auto& [fx, fy] : {std::pair{0.25, 0.25}, {0.5, 0.5}, {0.8, 0.6}}) {
    const std::uint32_t got =
        result.GetPixel(static_cast<int>(fx * result.width), static_cast<int>(fy * result.height));
    const std::uint32_t want =
        source.GetPixel(static_cast<int>(fx * source.width), static_cast<int>(fy * source.height));
    EXPECT_EQ(got >> 24, 0xFFu);
    for (int shift : {0, 8}) {
      EXPECT_NEAR(static_cast<int>(got >> shift & 0xFF), static_cast<int>(want >> shift & 0xFF), 6);
    }
  }
  // The result grows with the window.
  const int before = result.width;
  wizard_->resize(wizard_->size() + QSize(400, 200));
  QCoreApplication::processEvents();
  Page().ResultView()->repaint();
  EXPECT_GT(Page().Result().width, before);
}

// Texts that read as numbers no map can use: the page stays usable and draws what it can.
TEST_F(PageSourceTest, OddNumbersKeepThePageAlive) {
  for (const char* typed : {"nan", "inf", "-inf", "1e308", "0"}) {
    for (int f = 0; f < PageSource::kFieldCount; ++f) {
      TypeInto(Page().Edit(Field(f)), typed);
      View().repaint();
      Page().ResultView()->repaint();
    }
    Drag(QPoint(10, 10), QPoint(40, 30));
    QTest::mouseClick(Page().FitButton(), Qt::LeftButton);
  }
  View().repaint();
  EXPECT_EQ(Instance().scale, 1.0);
}

// At the start the list shows the first name, from the top, that begins with the projection's.
TEST(PageSourceWithoutImage, StartsOnTheProjectionAndLeavesThePreviewsAlone) {
  for (const char* name : {"Pointy", "Mollweide", "Sinusoidal"}) {
    VideoBuffer empty;
    MapInstance instance;
    ASSERT_EQ(instance.SelectByName(name), 0) << name;
    std::vector<Fit::ControlPoint> points;
    RecordingPrompts prompts;
    PageSource page(&empty, &instance, &points, &prompts);
    page.show();
    page.initializePage();
    const QListWidgetItem* current = page.ProjectionList()->currentItem();
    ASSERT_NE(current, nullptr) << name;
    EXPECT_EQ(current->text(), QString::fromLatin1(name));
    QTest::mouseClick(page.ZoomInButton(), Qt::LeftButton);
    page.SourceViewWidget()->repaint();
    page.ResultView()->repaint();
    EXPECT_EQ(page.Result().GetPixel(page.Result().width / 2, page.Result().height / 2), 0u);
    EXPECT_EQ(instance.scale, 0.5);
    EXPECT_TRUE(prompts.messages.isEmpty());
  }
}

// A projection that refuses the values keeps its previous ones: the page says so, inline while
// typing and in a message when a projection is chosen with such values.
TEST_F(PageSourceTest, AProjectionThatRefusesTheParametersIsReported) {
  Choose("Albers Equal-Area Conic");
  EXPECT_FALSE(Page().RefusalNote()->isVisibleTo(&Page()));
  // Parallels symmetric about the equator: no cone.
  TypeInto(Page().Edit(PageSource::kParallel1), "30");
  TypeInto(Page().Edit(PageSource::kParallel2), "-30");
  EXPECT_TRUE(Page().RefusalNote()->isVisibleTo(&Page()));
  EXPECT_EQ(Page().RefusalNote()->text(),
            "Albers Equal-Area Conic refuses these values and keeps its previous settings.");
  EXPECT_TRUE(prompts_.messages.isEmpty());
  Choose("Lambert Conformal Conic");
  EXPECT_EQ(prompts_.messages,
            QStringList{"Lambert Conformal Conic refuses the standard parallels 30, -30 and keeps "
                        "its previous settings."});
  TypeInto(Page().Edit(PageSource::kParallel2), "50");
  EXPECT_FALSE(Page().RefusalNote()->isVisibleTo(&Page()));
}

}  // namespace
