// kartovel-fit-screenshot: the source page in a control-point session (points placed, fitted, the
// residuals drawn) as a PNG for the documentation. Usage: kartovel-fit-screenshot MAP OUTPUT.png
// where MAP is the sample Mollweide map (scale 0.96, aspect 0.5).
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cstdio>

#include "app/fit_panel.h"
#include "app/kartovel_wizard.h"
#include "engine/reproject.h"
#include "registry/projection_registry.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fputs("usage: kartovel-fit-screenshot MAP OUTPUT.png\n", stderr);
    return 2;
  }
  GetProjectionRegistry().LoadAll(ExecutableDirectory());
  bool saved = false;
  {
    KartovelWizard wizard;
    const QFileInfo map(QString::fromLocal8Bit(argv[1]));
    QDir::setCurrent(map.absolutePath());
    wizard.OpenPage().SetPath(map.fileName());
    wizard.show();
    wizard.next();
    PageSource& page = wizard.SourcePage();
    const QList<QListWidgetItem*> mollweide =
        page.ProjectionList()->findItems(QStringLiteral("Mollweide"), Qt::MatchExactly);
    if (!mollweide.isEmpty()) page.ProjectionList()->setCurrentItem(mollweide.first());

    // Places as a user would click them: a pixel or two off, one of them twenty.
    MapSettings drawn;
    drawn.typeCode = 8, drawn.scale = 0.96, drawn.aspect = 0.5;
    MapInstance truth;
    ApplySettings(drawn, &truth);
    const VideoBuffer& source = wizard.SourceImage();
    const Placement place(truth, source.width, source.height);
    FitPanel& panel = page.Fitting();
    panel.PointModeButton()->click();
    const double places[][4] = {
        {51.5, -0.1, 1, -1},  {40.7, -74, -1, 1},    {-33.9, 151.2, 1, 1},  {35.7, 139.7, -1, -1},
        {-22.9, -43.2, 1, 1}, {30, 31.2, -1, 1},     {64.1, -21.9, 1, 1},   {-34.6, 18.5, 30, -25},
        {1.3, 103.8, -1, -1}, {61.2, -149.9, 1, -1}, {-54.8, -68.3, -1, 1}, {21.3, -157.8, 1, 0}};
    for (const auto& p : places) {
      double x, y;
      truth.projection->Forward(StoredLatitude(p[0]) * Projection::kDegToRad,
                                p[1] * Projection::kDegToRad, &x, &y);
      panel.Points().push_back({place.X(x) + 0.5 + p[2], place.Y(y) + 0.5 + p[3], p[0], p[1]});
    }
    panel.RankButton()->click();
    panel.Wait();
    panel.FitPointsButton()->click();
    panel.Wait();
    panel.Select(2);
    QCoreApplication::processEvents();
    page.RenderPending();
    saved = wizard.grab().save(QString::fromLocal8Bit(argv[2]));
  }
  GetProjectionRegistry().UnloadAll();
  std::printf("%s %s\n", saved ? "wrote" : "could not write", argv[2]);
  return saved ? 0 : 1;
}
