// Throughput of Forward over a grid: the per-pixel cost of every registered projection, and of the
// row fast path where a projection offers it, on one thread and on two (the reprojection loops run
// one row per thread; items per second then add up over the threads).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "projection/builtins.h"
#include "projection/row_forward.h"

namespace {

constexpr int kSide = 256;

double Latitude(int i) { return -1.5 + 3.0 * i / kSide; }
double Longitude(int j) { return -3.1 + 6.2 * j / kSide; }

std::unique_ptr<Projection::MapProject> Make(std::size_t index) {
  std::unique_ptr<Projection::MapProject> p(Projection::BuiltinProjections()[index].create());
  p->Init(0.3, 0.2, 0, 0, 1, 1, 0.8, 0.3);
  return p;
}

void BM_Forward(benchmark::State& state) {
  auto p = Make(state.range(0));
  state.SetLabel(p->GetName());
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < kSide; ++i) {
      const double lat = Latitude(i);
      for (int j = 0; j < kSide; ++j) {
        double x, y;
        if (p->Forward(lat, Longitude(j), &x, &y) == 0) sum += x + y;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_Forward)->DenseRange(0, static_cast<int>(Projection::BuiltinProjections().size()) - 1);

// The same grid the way the reprojection loops walk it: one PrepareRow per latitude.
void BM_ForwardInRow(benchmark::State& state, std::size_t index) {
  auto p = Make(index);
  const auto* rows = dynamic_cast<const Projection::RowForward*>(p.get());
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < kSide; ++i) {
      Projection::RowForward::Row row;
      rows->PrepareRow(Latitude(i), &row);
      for (int j = 0; j < kSide; ++j) {
        double x, y;
        if (rows->ForwardInRow(row, Longitude(j), &x, &y) == 0) sum += x + y;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

const bool kRowBenchmarksRegistered = [] {
  const auto builtins = Projection::BuiltinProjections();
  for (std::size_t i = 0; i < builtins.size(); ++i) {
    auto p = Make(i);
    if (dynamic_cast<Projection::RowForward*>(p.get()) == nullptr) continue;
    std::string name = p->GetName();
    std::replace(name.begin(), name.end(), ' ', '_');
    benchmark::RegisterBenchmark(("BM_ForwardInRow/" + name).c_str(), BM_ForwardInRow, i)
        ->Threads(1)
        ->Threads(2)
        ->UseRealTime();
  }
  return true;
}();

}  // namespace
