// The fitting panel of the source page: points placed on the view and typed in, fitted off the
// user-interface thread, refusals that change nothing, and the ranking list.
#include "app/fit_panel.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/app_fixture.h"
#include "app/page_source.h"
#include "app/source_view.h"
#include "engine/reproject.h"

namespace {

class FitPanelTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    OpenAndNext(WriteGradient(dir_, "map.png", 200, 100));
    truth_.typeCode = 8, truth_.scale = 0.875, truth_.aspect = 0.5;
    truth_.offsetX = 0.0625, truth_.offsetY = -0.03125;
  }
  PageSource& Page() { return wizard_->SourcePage(); }
  FitPanel& Panel() { return Page().Fitting(); }
  // Six places of a Mollweide map drawn as truth_ on the 200 x 100 picture.
  std::vector<Fit::ControlPoint> Places() {
    MapInstance m;
    ApplySettings(truth_, &m);
    const Placement place(m, 200, 100);
    std::vector<Fit::ControlPoint> points;
    for (const auto& [lat, lon] : {std::pair{50.0, -120.0},
                                   {10.0, -40.0},
                                   {-30.0, 20.0},
                                   {-60.0, 100.0},
                                   {40.0, 150.0},
                                   {0.0, 60.0}}) {
      double x, y;
      m.projection->Forward(StoredLatitude(lat) * Projection::kDegToRad,
                            lon * Projection::kDegToRad, &x, &y);
      points.push_back({place.X(x) + 0.5, place.Y(y) + 0.5, lat, lon});
    }
    return points;
  }
  MapSettings truth_;
};

TEST_F(FitPanelTest, PointsClickedAndTypedFitTheMap) {
  Panel().PointModeButton()->click();
  SourceView* view = Page().SourceViewWidget();
  const MapSettings before = SettingsOf(wizard_->SourceProjection());
  // Shown whole, the view's centre is the picture's; zoomed in, a click lands on the source
  // point under it, and a drag moves the point, not the map.
  const QPointF centre = view->ToSource(view->rect().center());
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, view->rect().center());
  view->ZoomBy(8);
  const QPoint at = view->rect().center() + QPoint(24, 16), to = at + QPoint(16, -8);
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseMove(view, to);
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, to);
  ASSERT_EQ(Panel().Points().size(), 2u);
  EXPECT_NEAR(Panel().Points()[0].column, centre.x(), 1e-9);
  EXPECT_NEAR(Panel().Points()[0].row, centre.y(), 1e-9);
  EXPECT_NEAR(centre.x(), 100, 1);
  EXPECT_NEAR(centre.y(), 50, 1);
  EXPECT_NEAR(Panel().Points()[1].column, view->ToSource(to).x(), 1e-9);
  EXPECT_NEAR(Panel().Points()[1].row, view->ToSource(to).y(), 1e-9);
  EXPECT_EQ(SettingsOf(wizard_->SourceProjection()).offsetX, before.offsetX);
  // A right click on a point deletes it.
  QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, to);
  ASSERT_EQ(Panel().Points().size(), 1u);
  Panel().Select(0);
  // The wizard saves the points with its settings once they have a place.
  EXPECT_TRUE(wizard_->CurrentSettings().points.empty());
  QTest::keyClicks(Panel().PlaceEdit(), QStringLiteral("50, -120"));
  QTest::keyClick(Panel().PlaceEdit(), Qt::Key_Return);
  EXPECT_EQ(Panel().Points()[0].latitude, 50);
  ASSERT_EQ(wizard_->CurrentSettings().points.size(), 1u);
  EXPECT_EQ(wizard_->CurrentSettings().points[0].column, centre.x());

  // One point is too few: the page keeps its settings and says why.
  Panel().FitPointsButton()->click();
  Panel().Wait();
  EXPECT_TRUE(Panel().Status()->text().contains(QStringLiteral("Too few points")));
  EXPECT_EQ(wizard_->SourceProjection().typeCode, 2);

  Panel().Points() = Places();
  Page().ProjectionList()->setCurrentItem(
      Page().ProjectionList()->findItems(QStringLiteral("Mollweide"), Qt::MatchExactly).first());
  Panel().FitPointsButton()->click();
  EXPECT_TRUE(Panel().Busy() || Panel().Status()->text().contains(QStringLiteral("rms")));
  Panel().Wait();
  const MapSettings got = SettingsOf(wizard_->SourceProjection());
  EXPECT_EQ(got.typeCode, 8);
  EXPECT_NEAR(got.scale, truth_.scale, 1e-4);
  EXPECT_NEAR(got.offsetX, truth_.offsetX, 1e-4);
  EXPECT_NEAR(got.offsetY, truth_.offsetY, 1e-4);
  EXPECT_TRUE(Panel().Status()->text().contains(QStringLiteral("rms 0.00 px over 6 points")))
      << Panel().Status()->text().toStdString();
  // The page shows what was fitted.
  EXPECT_EQ(Page().NameValue()->text(), QStringLiteral("Mollweide"));
}

TEST_F(FitPanelTest, WhichProjectionListsBestFirstAndTakesAClickedType) {
  Panel().Points() = Places();
  Panel().RankButton()->click();
  Panel().Wait();
  QListWidget* list = Panel().RankList();
  ASSERT_GT(list->count(), 10);
  EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("Mollweide")))
      << list->item(0)->text().toStdString();
  EXPECT_EQ(wizard_->SourceProjection().typeCode, 2);  // nothing taken before a click
  const QRect row = list->visualItemRect(list->item(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
  EXPECT_EQ(wizard_->SourceProjection().typeCode, 8);
}

}  // namespace
