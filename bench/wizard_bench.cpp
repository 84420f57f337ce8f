// One drag step on the source projection page: a mouse move to both previews repainted, with an
// 8192 x 4096 Mollweide source. The step must stay within a 60 Hz frame (16 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <memory>

#include "app/page_source.h"
#include "app/preview_frame.h"
#include "app/source_view.h"
#include "app/wizard_prompts.h"
#include "engine/reproject.h"
#include "registry/projection_registry.h"

namespace {

struct DragScene {
  DragScene() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    application = std::make_unique<QApplication>(argc, argv);
    GetProjectionRegistry().LoadAll(ExecutableDirectory());
    instance.SelectByName("Mollweide");
    instance.aspect = 0.5;
    instance.SetOffset(0, 0);
    VideoBuffer earth;
    earth.Load("/usr/share/xplanet/images/earth.jpg");
    source.Create(8192, 4096);
    RenderProjection(earth, instance, source);
    page = std::make_unique<PageSource>(&source, &instance, &prompts);
    page->resize(1100, 650);  // the wizard's first size, less its buttons
    page->show();
    page->initializePage();
    QCoreApplication::processEvents();
  }

  int argc = 1;
  char name[16] = "kartovel-bench";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> application;
  WizardPrompts prompts;
  VideoBuffer source;
  MapInstance instance;
  std::unique_ptr<PageSource> page;
};

void BM_DragStep(benchmark::State& state) {
  static DragScene scene;
  PageSource& page = *scene.page;
  SourceView* view = page.SourceViewWidget();
  const QPoint centre = view->rect().center();
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, centre);
  int step = 0;
  for (auto _ : state) {
    step = (step + 1) % 32;
    QTest::mouseMove(view, centre + QPoint(step * 3, step * 2));
    view->repaint();
    page.ResultView()->repaint();
  }
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, centre);
  state.SetLabel(std::to_string(page.Result().width) + "x" + std::to_string(page.Result().height) +
                 " result, " + std::to_string(view->width()) + "x" +
                 std::to_string(view->height()) + " source view");
}
BENCHMARK(BM_DragStep)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
