// Per-pixel cost of the example composites beside the program, with and without the move-to-front
// cache: a row-by-row scan like the reprojection loop's.
#include <benchmark/benchmark.h>

#include <string>

#include "registry/map_composite.h"
#include "registry/map_instance.h"
#include "registry/projection_registry.h"

namespace {

void BM_CompositeForward(benchmark::State& state) {
  ProjectionRegistry& registry = GetProjectionRegistry();
  if (registry.First() == ProjectionRegistry::kEnd) registry.LoadAll(ExecutableDirectory());
  MapInstance instance;
  if (instance.Select(static_cast<int>(state.range(0))) != 0) {
    state.SkipWithError("example composite not beside the program");
    return;
  }
  auto* composite = static_cast<Projection::MapComposite*>(instance.projection);
  const bool cache = composite->cacheEnabled;
  composite->cacheEnabled = state.range(1) != 0;
  state.SetLabel(std::string(composite->GetName()) + (state.range(1) ? ", cache" : ", no cache"));
  constexpr int kSide = 256;
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < kSide; ++i) {
      const double lat = -1.5 + 3.0 * i / kSide;
      for (int j = 0; j < kSide; ++j) {
        double x, y;
        if (composite->Forward(lat, -3.1 + 6.2 * j / kSide, &x, &y) == 0) sum += x + y;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  composite->cacheEnabled = cache;
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_CompositeForward)->ArgsProduct({{100, 101, 102, 103}, {0, 1}});

}  // namespace
