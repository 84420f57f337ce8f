// Throughput of Forward over a grid: the per-pixel cost of every registered projection.
#include <benchmark/benchmark.h>

#include <memory>

#include "projection/builtins.h"

namespace {

void BM_Forward(benchmark::State& state) {
  const auto& builtin = Projection::BuiltinProjections()[state.range(0)];
  std::unique_ptr<Projection::MapProject> p(builtin.create());
  p->Init(0.3, 0.2, 0, 0, 1, 1, 0.8, 0.3);
  state.SetLabel(p->GetName());
  constexpr int kSide = 256;
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < kSide; ++i) {
      const double lat = -1.5 + 3.0 * i / kSide;
      for (int j = 0; j < kSide; ++j) {
        double x, y;
        if (p->Forward(lat, -3.1 + 6.2 * j / kSide, &x, &y) == 0) sum += x + y;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_Forward)->DenseRange(0, static_cast<int>(Projection::BuiltinProjections().size()) - 1);

}  // namespace
