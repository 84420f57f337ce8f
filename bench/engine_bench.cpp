// Throughput of whole-image reprojection per projection, and of the streamed PNG writer against
// libpng's default settings, on a real map (the Earth picture of xplanet-images, where installed).
#include <benchmark/benchmark.h>
#include <omp.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>

#include "engine/reproject.h"
#include "engine/source_sampler.h"
#include "image/band_writer.h"
#include "image/image_files.h"
#include "registry/map_instance.h"
#include "registry/projection_registry.h"

namespace {

constexpr char kEarth[] = "/usr/share/xplanet/images/earth.jpg";

// Loads the projections once, the built-in ones and whatever lies beside the benchmark.
void EnsureRegistry() {
  static const bool loaded = [] {
    GetProjectionRegistry().LoadAll(ExecutableDirectory());
    return true;
  }();
  (void)loaded;
}

// A real map stretched to width x width/2, or a synthetic one where the picture is missing.
const VideoBuffer& Map(int width) {
  EnsureRegistry();
  static VideoBuffer small, large;
  VideoBuffer& map = width <= 4096 ? small : large;
  if (!map.HasStorage()) {
    VideoBuffer earth;
    if (earth.Load(kEarth) != 0) {
      earth.Create(256, 128);
      for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 256; ++x) earth.SetPixel(x, y, 0xFF000000u | (x * y) % 251 << 8 | x);
      }
    }
    map.Create(width, width / 2);
    MapInstance plain;
    plain.aspect = 0.5;
    plain.SetOffset(0, 0);
    Reproject(earth, plain, map);
  }
  return map;
}

struct Case {
  int code;
  double centerLat, aspect, parallel1, parallel2;
};
// The benchmark argument indexes this table.
constexpr Case kCases[] = {
    {2, 0, 0.5, 50, 10},   // Equirectangular
    {6, 0, 1, 50, 10},     // Mercator
    {10, 0, 0.5, 50, 10},  // Sinusoidal
    {8, 0, 0.5, 50, 10},   // Mollweide
    {9, -30, 1, 50, 10},   // Orthographic, centre 30N on a north-up map
    {20, 0, 1, -20, -50},  // Lambert conformal conic, parallels 20N and 50N
};

// Case state.range(0) of kCases, 4096 x 2048 to 4096 x 2048.
void ReprojectCase(benchmark::State& state, const SamplingOptions& options) {
  EnsureRegistry();
  const Case& c = kCases[state.range(0)];
  if (!GetProjectionRegistry().IsAvailable(c.code)) {
    state.SkipWithError("projection not registered in this build");
    return;
  }
  MapInstance m;
  m.Select(c.code);
  m.aspect = c.aspect;
  m.SetCenter(c.centerLat, 0);
  m.SetOffset(0, 0);
  m.SetParallels(c.parallel1, c.parallel2);
  state.SetLabel(m.GetName());
  const VideoBuffer& source = Map(4096);
  VideoBuffer destination;
  destination.Create(4096, 2048);
  for (auto _ : state) Reproject(source, m, destination, nullptr, {}, options);
  state.SetItemsProcessed(state.iterations() * 4096 * 2048);
}

void BM_Reproject(benchmark::State& state) { ReprojectCase(state, {}); }
BENCHMARK(BM_Reproject)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The shrinking cases point sampled: what averaging over footprints costs on top.
void BM_ReprojectPointSampled(benchmark::State& state) {
  SamplingOptions options;
  options.antialias = false;
  ReprojectCase(state, options);
}
BENCHMARK(BM_ReprojectPointSampled)
    ->Arg(1)
    ->Arg(3)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A Mollweide map whose ellipse fills its picture.
MapInstance WholeMollweide() {
  EnsureRegistry();
  MapInstance m;
  m.Select(8);
  m.aspect = 0.5;
  m.SetOffset(0, 0);
  return m;
}

// The Mollweide case with each kernel (0 nearest, 1 bilinear, 2 bicubic), antialiasing and
// coverage alpha on (their default).
void BM_ReprojectKernel(benchmark::State& state) {
  const MapInstance m = WholeMollweide();
  const SamplingOptions options{static_cast<Kernel>(state.range(0))};
  const char* names[] = {"nearest", "bilinear", "bicubic"};
  state.SetLabel(names[state.range(0)]);
  const VideoBuffer& source = Map(4096);
  VideoBuffer destination;
  destination.Create(4096, 2048);
  for (auto _ : state) Reproject(source, m, destination, nullptr, {}, options);
  state.SetItemsProcessed(state.iterations() * 4096 * 2048);
}
BENCHMARK(BM_ReprojectKernel)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 8192 x 4096 Mollweide map to an equirectangular picture state.range(0) wide with the default
// options, the source prepared once as an export's bands use it (items are output pixels). 8192:
// the per-pixel cost of the end-to-end conversion's sampling; 3150: shrunk 2.6:1, footprints
// that turn and stretch from pixel to pixel along every row.
void BM_ReprojectPrepared(benchmark::State& state) {
  const MapInstance m = WholeMollweide();
  SourceSampler sampler(Map(8192), m);
  const auto width = static_cast<std::int32_t>(state.range(0));
  VideoBuffer destination;
  destination.Create(width, width / 2);
  const SamplingOptions options;
  PrepareSampler(sampler, width, width / 2, options);
  Reproject(sampler, destination, nullptr, {}, options);  // marks every tile once
  for (auto _ : state) Reproject(sampler, destination, nullptr, {}, options);
  state.SetItemsProcessed(state.iterations() * width * (width / 2));
}
BENCHMARK(BM_ReprojectPrepared)->Arg(8192)->Arg(3150)->Unit(benchmark::kMillisecond)->UseRealTime();

// Shrinking the 8192 x 4096 map 8:1 to 1024 x 512, with (1) and without (0) antialiasing; items
// are output pixels.
// The equirectangular whole world of the 8192 map, and the options of `state`'s case.
MapInstance ShrinkCase(benchmark::State& state, SamplingOptions* options) {
  EnsureRegistry();
  MapInstance plain;
  plain.aspect = 0.5;
  plain.SetOffset(0, 0);
  options->antialias = state.range(0) != 0;
  state.SetLabel(options->antialias ? "antialiased" : "point sampled");
  return plain;
}

void BM_Shrink8(benchmark::State& state) {
  SamplingOptions options;
  const MapInstance plain = ShrinkCase(state, &options);
  const VideoBuffer& source = Map(8192);
  VideoBuffer destination;
  destination.Create(1024, 512);
  for (auto _ : state) Reproject(source, plain, destination, nullptr, {}, options);
  state.SetItemsProcessed(state.iterations() * 1024 * 512);
}
BENCHMARK(BM_Shrink8)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with the source prepared once, as repeated conversions of one source (previews, bands)
// use it: the steady state of shrinking.
void BM_Shrink8Prepared(benchmark::State& state) {
  SamplingOptions options;
  const MapInstance plain = ShrinkCase(state, &options);
  const VideoBuffer& source = Map(8192);
  SourceSampler sampler(source, plain);
  VideoBuffer destination;
  destination.Create(1024, 512);
  PrepareSampler(sampler, 1024, 512, options);
  for (auto _ : state) Reproject(sampler, destination, nullptr, {}, options);
  state.SetItemsProcessed(state.iterations() * 1024 * 512);
}
BENCHMARK(BM_Shrink8Prepared)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 8192 x 4096 map shrunk by state.range(0) / 10 with (range(1) = 1) and without antialiasing,
// the source prepared once: what each output pixel of an export's band costs (items are output
// pixels).
void BM_ShrinkBy(benchmark::State& state) {
  SamplingOptions options;
  EnsureRegistry();
  MapInstance plain;
  plain.aspect = 0.5;
  plain.SetOffset(0, 0);
  options.antialias = state.range(1) != 0;
  state.SetLabel(options.antialias ? "antialiased" : "point sampled");
  const VideoBuffer& source = Map(8192);
  SourceSampler sampler(source, plain);
  const auto width = static_cast<std::int32_t>(8192 * 10 / state.range(0));
  VideoBuffer destination;
  destination.Create(width, width / 2);
  PrepareSampler(sampler, width, width / 2, options);
  for (auto _ : state) Reproject(sampler, destination, nullptr, {}, options);
  state.SetItemsProcessed(state.iterations() * width * (width / 2));
}
BENCHMARK(BM_ShrinkBy)
    ->Args({26, 1})
    ->Args({26, 0})
    ->Args({100, 1})
    ->Args({100, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A Goode map (the example composite 101) converted back, on 1 and 2 threads.
void BM_ReprojectComposite(benchmark::State& state) {
  EnsureRegistry();
  MapInstance m;
  if (m.Select(101) != 0) {
    state.SkipWithError("example composite not beside the program");
    return;
  }
  m.SetAspect(0.5);
  static VideoBuffer goode;
  if (!goode.HasStorage()) {
    goode.Create(2048, 1024);
    RenderProjection(Map(4096), m, goode);
  }
  VideoBuffer destination;
  destination.Create(2048, 1024);
  const int saved = omp_get_max_threads();
  omp_set_num_threads(static_cast<int>(state.range(0)));
  for (auto _ : state) Reproject(goode, m, destination);
  omp_set_num_threads(saved);
  state.SetItemsProcessed(state.iterations() * 2048 * 1024);
}
BENCHMARK(BM_ReprojectComposite)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// libpng with its own defaults (level 6, adaptive filters): the reference for the file size.
bool WriteLibpngDefault(const VideoBuffer& map, std::FILE* file) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, map.width, map.height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_bgr(png);  // the buffer stores blue, green, red, alpha
  png_write_info(png, info);
  for (int y = 0; y < map.height; ++y) {
    png_write_row(png, map.pixels + static_cast<std::size_t>(map.height - 1 - y) * map.width * 4);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

// Writes the 8192 x 4096 map as PNG with the streamed writer of Save (0) or libpng's defaults (1).
void BM_SavePng(benchmark::State& state) {
  const VideoBuffer& map = Map(8192);
  const bool defaults = state.range(0) == 1;
  state.SetLabel(defaults ? "libpng defaults" : "Save");
  long bytes = 0;
  for (auto _ : state) {
    std::FILE* file = std::tmpfile();
    if (defaults) {
      WriteLibpngDefault(map, file);
    } else {
      auto writer = ImageFiles::OpenBandWriter(ImageFiles::OutputFormat::kPng, file, map.width,
                                               map.height, nullptr);
      writer->WriteBand(map, map.height);
      writer->Finish();
    }
    bytes = std::ftell(file);
    std::fclose(file);
  }
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  state.SetItemsProcessed(state.iterations() * 8192 * 4096);
}
BENCHMARK(BM_SavePng)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
