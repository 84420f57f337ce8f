// Measures the fitting targets on maps drawn by gdalwarp (bench/fit_targets.sh makes them):
// outline fits with margins, a frame, a title and crops; control points with 0.5 px noise;
// ranking; timing.
//
//   kartovel-fit-targets DIR [TRIALS]
//
// DIR holds <key>_<w>x<h>.tif and .env files of /work/shared/reference-maps/make_sources.sh, whose
// settings are in the stored convention (latitudes and the y offset negated).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/reproject.h"
#include "fit/fit.h"
#include "fit/fit_model.h"
#include "registry/projection_registry.h"

namespace {

using Fit::ControlPoint;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr int kTimedRuns = 3;
// Trials of the fits with points and the outline (each fits the outline twice).
constexpr int kBothTrials = 5;
// A light paper colour: on white, the white polar ice would join the background.
constexpr std::uint32_t kPaper = 0xFFD8E8F0u;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor seconds of this process: on a shared machine the wall clock also counts others' work.
double CpuSeconds(std::clock_t since) {
  return static_cast<double>(std::clock() - since) / CLOCKS_PER_SEC;
}

struct Source {
  std::string key, path;
  MapSettings truth;  // north-positive
};

std::map<std::string, std::string> ReadEnv(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string v = line.substr(eq + 1);
    if (!v.empty() && v.front() == '\'') v = v.substr(1, v.size() - 2);
    values[line.substr(0, eq)] = v;
  }
  return values;
}

// The picture's settings, turned north-positive.
bool ReadSource(const std::string& env, Source* source) {
  auto v = ReadEnv(env);
  const int code = GetProjectionRegistry().FindCode(v["PROJECTION"]);
  if (code < 0) return false;
  MapSettings& s = source->truth;
  s.typeCode = code;
  s.centerLat = -std::stod(v["CENTER_LAT"]);
  s.centerLon = std::stod(v["CENTER_LON"]);
  s.offsetX = std::stod(v["OFFSET_X"]);
  s.offsetY = -std::stod(v["OFFSET_Y"]);
  s.scale = std::stod(v["SCALE"]);
  s.aspect = std::stod(v["ASPECT"]);
  s.parallel1 = -std::stod(v["PARALLEL1"]);
  s.parallel2 = -std::stod(v["PARALLEL2"]);
  return true;
}

// Settings for the same map on a picture grown by (left, top) to w x h (negative: cropped).
MapSettings Moved(const MapSettings& s, int w0, int h0, int left, int top, int w, int h) {
  MapInstance m;
  ApplySettings(s, &m);
  Fit::Linear l = Fit::LinearOf(m, w0, h0);
  l.b += left, l.d += top;
  Fit::SetLinear(l, w, h, &m);
  return SettingsOf(m);
}

// Engine pixel of a place under settings, or false.
bool Pixel(MapInstance& m, int w, int h, double lat, double lon, double* x, double* y) {
  double mx, my;
  if (m.projection->Forward(StoredLatitude(lat) * Projection::kDegToRad,
                            lon * Projection::kDegToRad, &mx, &my) != 0) {
    return false;
  }
  const Placement p(m, w, h);
  *x = p.X(mx), *y = p.Y(my);
  return std::isfinite(*x) && std::isfinite(*y) && *x >= 0 && *y >= 0 && *x < w && *y < h;
}

// RMS distance in pixels between the placements of two settings over the places the true one
// shows in the picture (every 2 degrees).
double PlacementRms(const MapSettings& truth, const MapSettings& fitted, int w, int h) {
  MapInstance t, f;
  ApplySettings(truth, &t);
  ApplySettings(fitted, &f);
  double sum = 0;
  long n = 0;
  for (double lat = -89; lat <= 89; lat += 2) {
    for (double lon = -179; lon <= 179; lon += 2) {
      double xt, yt, xf, yf;
      if (!Pixel(t, w, h, lat, lon, &xt, &yt)) continue;
      double mx, my;
      if (f.projection->Forward(StoredLatitude(lat) * Projection::kDegToRad,
                                lon * Projection::kDegToRad, &mx, &my) != 0) {
        sum += 1e6, ++n;
        continue;
      }
      const Placement p(f, w, h);
      xf = p.X(mx), yf = p.Y(my);
      sum += (xf - xt) * (xf - xt) + (yf - yt) * (yf - yt), ++n;
    }
  }
  return n ? std::sqrt(sum / n) : NAN;
}

// The drawn map on `paper` with margins, a frame line and a title block; `cut` columns of the
// map's left part cut away. The map is where gdalwarp drew (its alpha) inside the projection's
// outline: PROJ's inverses of several projections wrap around and fill the whole rectangle.
void Decorate(const VideoBuffer& map, const VideoBuffer& outline, std::uint32_t paper, int margin,
              int title, int cut, VideoBuffer* out, int* left, int* top) {
  const int w = map.width + 2 * margin - cut, h = map.height + 2 * margin + title;
  out->Create(w, h);
  *left = margin - cut, *top = margin + title;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint32_t c = paper;
      const int mx = x - *left, my = y - *top;
      if (mx >= 0 && my >= 0 && mx < map.width && my < map.height) {
        const std::uint32_t m = map.GetPixel(mx, my);
        if ((m >> 24) >= 128 && (outline.GetPixel(mx, my) >> 24)) c = m | 0xFF000000u;
      }
      const bool frame =
          margin > 0 && (x == 6 || x == 7 || y == 6 || y == 7 || x == w - 7 || y == h - 7);
      const bool text = title > 0 && y > 12 && y < title && x > 40 && x < 500 && (x / 9) % 3;
      if (frame || text) c = 0xFF202020u;
      out->SetPixel(x, y, c);
    }
  }
}

struct OutlineRow {
  double rms, iou, seconds, cpu;
  double detectCpu;  // of `cpu`, finding the outline
};

OutlineRow OutlineCase(const VideoBuffer& picture, const MapSettings& truth) {
  const auto start = Clock::now();
  const std::clock_t cpu = std::clock();
  Fit::Outline outline;
  std::string reason;
  Fit::FitResult r;
  if (Fit::DetectOutline(picture, &outline, &reason) != 0)
    return {NAN, 0, Seconds(start), CpuSeconds(cpu), CpuSeconds(cpu)};
  const double detect = CpuSeconds(cpu);
  MapSettings s;
  s.typeCode = truth.typeCode, s.centerLat = truth.centerLat, s.centerLon = truth.centerLon;
  s.parallel1 = truth.parallel1, s.parallel2 = truth.parallel2;
  MapInstance m;
  ApplySettings(s, &m);
  if (Fit::FitOutline(outline, &m, {}, &r, &reason) != 0)
    return {NAN, 0, Seconds(start), CpuSeconds(cpu), detect};
  const double seconds = Seconds(start), processor = CpuSeconds(cpu);
  return {PlacementRms(truth, r.settings, picture.width, picture.height), r.iou, seconds,
          processor, detect};
}
// Ten well-spread places the map shows: farthest-point picks from a 5-degree grid.
std::vector<ControlPoint> SpreadPoints(const MapSettings& truth, int w, int h) {
  MapInstance t;
  ApplySettings(truth, &t);
  std::vector<ControlPoint> all;
  for (double lat = -80; lat <= 80; lat += 5) {
    for (double lon = -175; lon <= 175; lon += 5) {
      double x, y;
      if (Pixel(t, w, h, lat, lon, &x, &y) && x > 0.03 * w && x < 0.97 * w && y > 0.03 * h &&
          y < 0.97 * h) {
        all.push_back({x + 0.5, y + 0.5, lat, lon});
      }
    }
  }
  std::vector<ControlPoint> chosen;
  if (all.empty()) return chosen;
  chosen.push_back(all[all.size() / 2]);
  while (chosen.size() < 10) {
    double best = -1;
    std::size_t pick = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
      double d = INFINITY;
      for (const ControlPoint& c : chosen) {
        d = std::min(d, std::hypot(all[i].column - c.column, all[i].row - c.row));
      }
      if (d > best) best = d, pick = i;
    }
    chosen.push_back(all[pick]);
  }
  return chosen;
}

// Degrees between two places.
double Angle(double lat1, double lon1, double lat2, double lon2) {
  const double k = Projection::kDegToRad;
  const double c = std::sin(lat1 * k) * std::sin(lat2 * k) +
                   std::cos(lat1 * k) * std::cos(lat2 * k) * std::cos((lon1 - lon2) * k);
  return std::acos(std::clamp(c, -1.0, 1.0)) / k;
}

double Median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

MapSettings StartFor(const MapSettings& truth) {
  MapSettings s;
  s.typeCode = truth.typeCode;
  if (GetProjectionRegistry().GetSlotFlags(truth.typeCode) & Projection::MAP_CONIC) {
    // The picture fixes only the cone's shape: the first parallel and centre latitude given.
    s.parallel1 = truth.parallel1, s.parallel2 = 10.0;
    s.centerLat = truth.centerLat;
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kartovel-fit-targets DIR [TRIALS]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int trials = argc > 2 ? std::atoi(argv[2]) : 25;
  GetProjectionRegistry().LoadAll(ExecutableDirectory());

  std::vector<std::string> envs;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    // FIT_ONLY=KEY measures the maps of one projection.
    const char* only = std::getenv("FIT_ONLY");
    if (only && entry.path().stem().string().rfind(only, 0) != 0) continue;
    if (entry.path().extension() == ".env") envs.push_back(entry.path().string());
  }
  std::sort(envs.begin(), envs.end());

  std::printf("## Outline fit (placement RMS px over the map; IoU; seconds)\n\n");
  std::printf(
      "| map | on black | margins, frame, title | cropped left | time (margins): wall, CPU "
      "(finding the outline + fitting) |\n|---|---|---|---|---|\n");
  std::mt19937 random(13);
  std::normal_distribution<double> noise(0, 0.5);
  struct PointRow {
    std::string key;
    double rms, centre, rankSeconds, rankCpu;
    int rank;
    std::string rankedFirst;
    // With the outline of the picture on black: 10 points, and 3 points (placement, centre).
    double both10, both3, centre3, alone3;
  };
  std::vector<PointRow> pointRows;
  for (const std::string& env : envs) {
    Source src;
    src.key = std::filesystem::path(env).stem().string();
    if (!ReadSource(env, &src)) continue;
    VideoBuffer map;
    const std::string tif = env.substr(0, env.size() - 4) + ".tif";
    if (map.Load(tif) != 0) continue;
    const int w = map.width, h = map.height;

    // The true outline: where the engine finds the map.
    VideoBuffer white, outline;
    white.Create(4, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) white.SetPixel(x, y, 0xFFFFFFFFu);
    MapInstance truthInstance;
    ApplySettings(src.truth, &truthInstance);
    outline.Create(w, h);
    RenderProjection(white, truthInstance, outline);

    int left, top;
    VideoBuffer plain, decorated, cropped;
    Decorate(map, outline, kBlack, 0, 0, 0, &plain, &left, &top);
    const OutlineRow a = OutlineCase(plain, src.truth);
    Decorate(map, outline, kPaper, 40, 60, 0, &decorated, &left, &top);
    // The large map's framed picture, for fit_targets.sh to time the whole command on.
    if (w > 2048) decorated.Save(dir + "/" + src.key + "_framed.png");
    // Timed as the least of three runs: on a shared machine the others' work slows each run down
    // (processor time too, through the caches), never speeds it up.
    OutlineRow b;
    for (int run = 0; run < kTimedRuns; ++run) {
      const OutlineRow again = OutlineCase(
          decorated, Moved(src.truth, w, h, left, top, decorated.width, decorated.height));
      if (run == 0 || again.cpu < b.cpu) b = again;
    }
    const int cut = 40 + w / 12;
    Decorate(map, outline, kPaper, 40, 60, cut, &cropped, &left, &top);
    const OutlineRow c =
        OutlineCase(cropped, Moved(src.truth, w, h, left, top, cropped.width, cropped.height));
    std::printf("| %s | %.3f (%.4f) | %.3f (%.4f) | %.3f (%.4f) | %.2f s, %.2f s (%.2f + %.2f) |\n",
                src.key.c_str(), a.rms, a.iou, b.rms, b.iou, c.rms, c.iou, b.seconds, b.cpu,
                b.detectCpu, b.cpu - b.detectCpu);
    std::fflush(stdout);
    if (w > 2048) continue;  // the points are measured on the 2048-wide maps

    // Control points with noise, alone and with the outline of the map on black.
    const std::vector<ControlPoint> exact = SpreadPoints(src.truth, w, h);
    Fit::Outline plainOutline;
    std::string outlineReason;
    Fit::DetectOutline(plain, &plainOutline, &outlineReason);
    std::vector<double> rms, centre, both10, both3, centre3, alone3;
    int rank = -1;
    double rankSeconds = 0, rankCpu = 0;
    std::string first;
    for (int t = 0; t < trials && exact.size() == 10; ++t) {
      std::vector<ControlPoint> points = exact;
      for (ControlPoint& p : points) p.column += noise(random), p.row += noise(random);
      MapInstance m;
      ApplySettings(StartFor(src.truth), &m);
      Fit::FitResult r;
      std::string reason;
      if (Fit::FitPoints(points, w, h, &m, {}, &r, &reason) != 0) {
        rms.push_back(INFINITY);
        continue;
      }
      rms.push_back(PlacementRms(src.truth, r.settings, w, h));
      centre.push_back(Angle(src.truth.centerLat, src.truth.centerLon, r.settings.centerLat,
                             r.settings.centerLon));
      if (t < kBothTrials) {
        std::vector<ControlPoint> three(points.begin(), points.begin() + 3);
        for (const auto* set : {&points, &three}) {
          MapInstance b;
          ApplySettings(StartFor(src.truth), &b);
          Fit::FitResult rb;
          const bool ok =
              Fit::FitPointsAndOutline(*set, w, h, plainOutline, &b, {}, &rb, &reason) == Fit::kFitOk;
          const double placement = ok ? PlacementRms(src.truth, rb.settings, w, h) : INFINITY;
          (set == &points ? both10 : both3).push_back(placement);
          if (set == &three) {
            centre3.push_back(ok ? Angle(src.truth.centerLat, src.truth.centerLon,
                                         rb.settings.centerLat, rb.settings.centerLon)
                                 : INFINITY);
            MapInstance a;
            ApplySettings(StartFor(src.truth), &a);
            alone3.push_back(Fit::FitPoints(three, w, h, &a, {}, &rb, &reason) == Fit::kFitOk
                                 ? PlacementRms(src.truth, rb.settings, w, h)
                                 : INFINITY);
          }
        }
      }
      if (t == 0) {
        MapInstance startInstance;
        std::vector<MapInstance> candidates = Fit::Candidates(startInstance);
        std::vector<Fit::FitResult> ranked;
        const auto start = Clock::now();
        const std::clock_t cpu = std::clock();
        Fit::Rank(&candidates, points, w, h, Fit::Outline{}, {}, &ranked, &reason);
        rankSeconds = Seconds(start), rankCpu = CpuSeconds(cpu);
        for (std::size_t i = 0; i < ranked.size(); ++i) {
          if (ranked[i].settings.typeCode == src.truth.typeCode) rank = static_cast<int>(i) + 1;
        }
        if (!ranked.empty()) {
          char text[128];
          std::snprintf(text, sizeof text, "%s %.2f", ranked[0].name.c_str(), ranked[0].rms);
          first = text;
          if (ranked.size() > 1) {
            std::snprintf(text, sizeof text, "; %s %.2f", ranked[1].name.c_str(), ranked[1].rms);
            first += text;
          }
        }
      }
    }
    pointRows.push_back({src.key, Median(rms), Median(centre), rankSeconds, rankCpu, rank, first,
                         Median(both10), Median(both3), Median(centre3), Median(alone3)});
  }

  std::printf("\n## Control points: 10 points, 0.5 px noise, %d trials (medians)\n\n", trials);
  std::printf(
      "| map | placement RMS px | centre error ° | true type's rank | best two (RMS px) | rank "
      "time |\n|---|---|---|---|---|---|\n");
  for (const PointRow& r : pointRows) {
    std::printf("| %s | %.3f | %.4f | %d | %s | %.2f s (%.2f s CPU) |\n", r.key.c_str(), r.rms,
                r.centre, r.rank, r.rankedFirst.c_str(), r.rankSeconds, r.rankCpu);
  }
  std::printf(
      "\n## Points and the outline of the map on black (%d trials, medians; placement RMS px)\n\n",
      std::min(trials, kBothTrials));
  std::printf(
      "| map | 10 points | 10 points + outline | 3 points | 3 points + outline | centre error "
      "° (3 + outline) |\n|---|---|---|---|---|---|\n");
  for (const PointRow& r : pointRows) {
    std::printf("| %s | %.3f | %.3f | %.3f | %.3f | %.4f |\n", r.key.c_str(), r.rms, r.both10,
                r.alone3, r.both3, r.centre3);
  }
  GetProjectionRegistry().UnloadAll();
  return 0;
}
