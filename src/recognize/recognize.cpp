// Recognizer: the coarse grid search over types and settings, and the refinement that follows.
#include "recognize/recognize.h"

#include <nlopt.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <mutex>

#include "projection/builtins.h"
#include "recognize/picture_match.h"
#include "registry/projection_registry.h"

using Projection::kDegToRad;

namespace {

// What a type lets the picture decide besides placement.
enum class Kind {
  kCentred,  // centre latitude and longitude (azimuthal projections)
  kCone,     // central meridian and standard parallels (the centre latitude trades with y)
  kWorld,    // central meridian only
  kFixed,    // nothing: composites are taken as defined
};

// Sample points per level of detail: grid resolution (cells around the world), coast band in
// cells, count.
struct SampleLevel {
  int gridWidth, band, count;
};
constexpr SampleLevel kSampleLevels[] = {{256, 2, 3000}, {1024, 2, 10000}, {2048, 2, 40000}};

constexpr double kAspectBias = 0.0001;  // the engine's vertical extent is scale / (aspect + this)
// A projected extent beyond this many normalised units is open: the map has no outline of its own
// (gnomonic, stereographic, Mercator, conformal cones) and is always a crop.
constexpr double kOpenExtent = 2.0;

// The settings besides placement, degrees north-positive.
struct Shape {
  double lat = 0, lon = 0, p1 = 0, p2 = 0;
};

// Placement as the user's settings hold it: scale, aspect and the offsets in user units, the
// y offset downwards (the stored convention).
struct Frame {
  double scale = 1, aspect = 1, offsetX = 0, offsetY = 0;
};

Affine AffineOf(const Frame& f, int w, int h) {
  Affine p;
  p.a = f.scale * w * 0.5;
  p.b = p.a * f.offsetX + w * 0.5;
  p.c = f.scale / (f.aspect + kAspectBias) * h * 0.5;
  p.d = p.c * f.offsetY + h * 0.5;
  return p;
}

Frame FrameOf(const Affine& p, int w, int h) {
  Frame f;
  f.scale = 2 * p.a / w;
  f.offsetX = (p.b - w * 0.5) / p.a;
  f.aspect = f.scale * h / (2 * p.c) - kAspectBias;
  f.offsetY = (p.d - h * 0.5) / p.c;
  return f;
}

double Wrap180(double degrees) { return Projection::WrapAngle(degrees * kDegToRad) / kDegToRad; }

}  // namespace

struct Recognizer::TypeModel {
  MapInstance instance;
  int code = 0;
  Kind kind = Kind::kWorld;
  // A normal cylinder's central meridian and x offset move the map alike; the offset is held at
  // the hypothesis (the world's middle) so that the seam stays at the map's edge.
  bool cylinder = false;
  double unitScale = 1;
  // Held while a thread initialises and uses the projection: two candidates of one type may be
  // refined at once.
  std::mutex busy;
};

struct Recognizer::Candidate {
  TypeModel* type = nullptr;
  Shape shape;
  Frame frame;
  double score = 0;
  int level = 0;  // the level of detail the score was taken at
};

namespace {

using Candidate = Recognizer::Candidate;
using TypeModel = Recognizer::TypeModel;

// Built-in type codes, read from the built-in table itself.
std::vector<int> BuiltinCodes() {
  std::vector<int> codes;
  for (const auto& builtin : Projection::BuiltinProjections()) {
    std::unique_ptr<Projection::MapProject> object(builtin.create());
    if (object) codes.push_back(object->GetTypeCode());
  }
  return codes;
}

// Whether moving the central meridian slides the map sideways, as the x offset does: a cylinder
// in its normal aspect puts two meridians equally far apart at every latitude; a transverse one
// (transverse Mercator, Cassini) does not.
bool SlidesWithMeridian(Projection::MapProject* projection) {
  double gap[2];
  for (int i = 0; i < 2; ++i) {
    const double phi = i * 60 * kDegToRad;
    double x0, x1, y;
    if (projection->Forward(phi, 10 * kDegToRad, &x0, &y) != 0 ||
        projection->Forward(phi, 20 * kDegToRad, &x1, &y) != 0) {
      return false;
    }
    gap[i] = x1 - x0;
  }
  return std::fabs(gap[0] - gap[1]) <= 1e-9 * std::fabs(gap[0]) && gap[0] != 0;
}

Kind KindOf(std::uint32_t flags) {
  if (flags & Projection::MAP_INTERRUPTED) return Kind::kFixed;
  if (flags & Projection::MAP_CONIC) return Kind::kCone;
  if (flags & Projection::MAP_AZIMUTHAL_PROPER) return Kind::kCentred;
  return Kind::kWorld;
}

// One run: the picture, the request and the search state.
class Search {
 public:
  Search(const ReferenceEarth& earth, const RecognizeRequest& request, const PictureLevels& picture,
         RasterProgress* progress)
      : request_(request), picture_(picture), progress_(progress) {
    for (const SampleLevel& level : kSampleLevels) {
      samples_.push_back(earth.Samples(level.gridWidth, level.band, level.count));
    }
    // The grid scan tries thousands of placements: every third point of the coarsest level.
    for (std::size_t i = 0; i < samples_.front().size(); i += 3) scan_.push_back(samples_.front()[i]);
    ExtentPoints();
  }

  bool Cancelled() const { return progress_ && progress_->cancel.load(); }
  // Progress only grows, whichever thread reports.
  void Report(long long percent) const {
    if (!progress_) return;
    long long shown = progress_->rowsDone.load();
    while (shown < percent && !progress_->rowsDone.compare_exchange_weak(shown, percent)) {
    }
  }

  // The best few placements of `type` over the grid of its free settings, at the coarsest level.
  std::vector<Candidate> Scan(TypeModel* type);
  // Local refinement of every free setting at `level`, restarted up to `rounds` - 1 times from
  // where it stopped while that gains (a simplex may collapse short of the peak).
  void Refine(Candidate* candidate, int level, double stepFactor, int evaluations, int rounds = 1);

  MapSettings SettingsOf(const Candidate& c) const;

 private:
  // Initialises the type's projection for `shape` and places `points` (north-positive lat/lon,
  // radians). False when the projection refuses the shape.
  bool Place(TypeModel* type, const Shape& shape, const std::vector<EarthSample>& points,
             PlacedPoints* placed);
  void ExtentPoints();
  std::vector<Shape> Shapes(const TypeModel& type) const;
  std::vector<Affine> Placements(TypeModel* type, const Shape& shape, const PlacedPoints& extent);
  Frame Fixed(Frame f) const;
  Shape Normalised(Shape s, Kind kind) const;

  const RecognizeRequest& request_;
  const PictureLevels& picture_;
  RasterProgress* progress_;
  std::vector<std::vector<EarthSample>> samples_;
  std::vector<EarthSample> scan_;
  std::vector<EarthSample> extent_;  // the whole sphere, its poles and edges
};

void Search::ExtentPoints() {
  for (int i = 0; i < 1500; ++i) {
    const double z = 1.0 - (2.0 * i + 1.0) / 1500;
    extent_.push_back({std::asin(z), std::remainder(Projection::kPi * (3 - std::sqrt(5.0)) * i, Projection::kTwoPi), 0});
  }
  for (int lon = -180; lon < 180; lon += 10) {
    extent_.push_back({89.999 * kDegToRad, lon * kDegToRad, 0});
    extent_.push_back({-89.999 * kDegToRad, lon * kDegToRad, 0});
  }
}

Shape Search::Normalised(Shape s, Kind kind) const {
  if (request_.centerLat) s.lat = *request_.centerLat;
  if (request_.centerLon) s.lon = *request_.centerLon;
  if (request_.parallel1) s.p1 = *request_.parallel1, s.p2 = *request_.parallel2;
  if (kind != Kind::kCentred && !request_.centerLat) s.lat = 0;
  if (s.lat > 90) s.lat = 180 - s.lat, s.lon += 180;
  if (s.lat < -90) s.lat = -180 - s.lat, s.lon += 180;
  s.lat = std::clamp(s.lat, -89.999, 89.999);
  s.lon = Wrap180(s.lon);
  s.p1 = std::clamp(s.p1, -89.0, 89.0), s.p2 = std::clamp(s.p2, -89.0, 89.0);
  return s;
}

Frame Search::Fixed(Frame f) const {
  if (request_.scale) f.scale = *request_.scale;
  if (request_.aspect) f.aspect = *request_.aspect;
  if (request_.offsetX) f.offsetX = *request_.offsetX, f.offsetY = -*request_.offsetY;
  return f;
}

bool Search::Place(TypeModel* type, const Shape& shape, const std::vector<EarthSample>& points,
                   PlacedPoints* placed) {
  Projection::MapProject* projection = type->instance.projection;
  if (!projection) return false;
  if (type->kind != Kind::kFixed) {
    double p1 = type->instance.parallel1 * kDegToRad, p2 = type->instance.parallel2 * kDegToRad;
    if (type->kind == Kind::kCone) p1 = -shape.p1 * kDegToRad, p2 = -shape.p2 * kDegToRad;
    if (projection->Init(-shape.lat * kDegToRad, shape.lon * kDegToRad, 0, 0, 1, 1, p1, p2) != 0) {
      return false;
    }
  }
  const double k = type->unitScale, x0 = projection->offsetX, y0 = projection->offsetY;
  const std::size_t n = points.size();
  std::vector<float> x(n), y(n);
  std::vector<std::uint8_t> ok(n);
  for (std::size_t i = 0; i < n; ++i) {
    double px, py;
    // The stored convention: a north-up picture carries latitude -90 at its top row.
    ok[i] = projection->Forward(-points[i].latitude, points[i].longitude, &px, &py) == 0 &&
            std::isfinite(px) && std::isfinite(py) && std::fabs(px) < 1e6 && std::fabs(py) < 1e6;
    x[i] = static_cast<float>(k * (px - x0));
    y[i] = static_cast<float>(k * (py - y0));
  }
  placed->Clear();
  for (std::size_t i = 0; i < n; ++i) {
    if (!ok[i]) continue;
    placed->x.push_back(x[i]);
    placed->y.push_back(y[i]);
    placed->land.push_back(points[i].land);
  }
  return true;
}

std::vector<Shape> Search::Shapes(const TypeModel& type) const {
  std::vector<Shape> shapes;
  switch (type.kind) {
    case Kind::kFixed:
      shapes.push_back({});
      break;
    case Kind::kWorld:
      for (int lon = -180; lon < 180; lon += 10) shapes.push_back({0, double(lon), 0, 0});
      break;
    case Kind::kCentred:
      for (int lat = -90; lat <= 90; lat += 10) {
        const int steps = std::max(1, static_cast<int>(std::round(36 * std::cos(lat * kDegToRad))));
        for (int i = 0; i < steps; ++i) shapes.push_back({double(lat), -180.0 + 360.0 * i / steps, 0, 0});
      }
      break;
    case Kind::kCone: {
      // Cones of either hemisphere, tangent and secant.
      // Cones of either hemisphere, tangent and secant, steep to flat.
      const double pairs[][2] = {{10, 10}, {25, 25}, {40, 40}, {55, 55}, {70, 70},
                                 {10, 40}, {25, 55}, {40, 70}};
      for (int lon = -180; lon < 180; lon += 10) {
        for (const auto& pair : pairs) {
          shapes.push_back({0, double(lon), pair[0], pair[1]});
          shapes.push_back({0, double(lon), -pair[0], -pair[1]});
        }
      }
      break;
    }
  }
  // Settings the user gave are no longer searched: drop the copies that differ only there.
  for (Shape& s : shapes) s = Normalised(s, type.kind);
  std::vector<Shape> distinct;
  for (const Shape& s : shapes) {
    const bool seen = std::any_of(distinct.begin(), distinct.end(), [&](const Shape& d) {
      return d.lat == s.lat && d.lon == s.lon && d.p1 == s.p1 && d.p2 == s.p2;
    });
    if (!seen) distinct.push_back(s);
  }
  return distinct;
}

// The box of placed points: left, top, right, bottom; empty (left > right) without points.
std::array<double, 4> BoxOf(const PlacedPoints& points) {
  std::array<double, 4> box = {1e9, 1e9, -1e9, -1e9};
  for (std::size_t i = 0; i < points.x.size(); ++i) {
    box[0] = std::min<double>(box[0], points.x[i]), box[2] = std::max<double>(box[2], points.x[i]);
    box[1] = std::min<double>(box[1], points.y[i]), box[3] = std::max<double>(box[3], points.y[i]);
  }
  return box;
}

// Points a quarter turn from the shape's centre: the rim of the hemisphere that an azimuthal map
// is often cut to.
std::vector<EarthSample> HemisphereRim(const Shape& shape) {
  std::vector<EarthSample> rim;
  const double phi = shape.lat * kDegToRad, lambda = shape.lon * kDegToRad;
  for (int k = 0; k < 72; ++k) {
    const double bearing = k * 5 * kDegToRad;
    const double lat = std::asin(std::cos(phi) * std::cos(bearing));
    const double lon = lambda + std::atan2(std::sin(bearing), -std::sin(phi) * std::cos(bearing));
    rim.push_back({lat, std::remainder(lon, Projection::kTwoPi), 0});
  }
  return rim;
}

std::vector<Affine> Search::Placements(TypeModel* type, const Shape& shape,
                                       const PlacedPoints& extent) {
  std::vector<Affine> out;
  const int w = picture_.width, h = picture_.height;
  const std::array<double, 4> whole = BoxOf(extent);
  if (whole[2] <= whole[0] || whole[3] <= whole[1]) return out;
  const bool open = std::max({-whole[0], whole[2], -whole[1], whole[3]}) > kOpenExtent;
  // The map's box in the picture: its outline, or the picture's frame when the map fills it.
  const auto fit = [&](const std::array<double, 4>& box) {
    const auto place = [&](double left, double top, double right, double bottom) {
      Affine p;
      p.a = (right - left) / (box[2] - box[0]);
      p.b = left - 0.5 - p.a * box[0];
      p.c = (bottom - top) / (box[3] - box[1]);
      p.d = top - 0.5 - p.c * box[1];
      out.push_back(p);
    };
    if (picture_.outlined) place(picture_.left, picture_.top, picture_.right, picture_.bottom);
    place(0, 0, w, h);
  };
  if (!open) {
    fit(whole);
    // An azimuthal map of the whole sphere, or of the hemisphere around its centre.
    if (type->kind == Kind::kCentred) {
      PlacedPoints rim;
      const std::array<double, 4> half =
          Place(type, shape, HemisphereRim(shape), &rim) ? BoxOf(rim) : whole;
      const bool smaller = half[2] - half[0] < 0.95 * (whole[2] - whole[0]);
      if (half[2] > half[0] && half[3] > half[1] && smaller) {
        fit(half);
      }
    }
    return out;
  }
  // A crop: square pixels, the central meridian down the middle of the map, some latitude of it
  // (the centre for azimuthal maps) at the middle, over a range of scales.
  const double cx = (picture_.left + picture_.right) * 0.5 - 0.5;
  const double cy = (picture_.top + picture_.bottom) * 0.5 - 0.5;
  std::vector<EarthSample> middle;
  if (type->kind == Kind::kCentred) {
    middle.push_back({shape.lat * kDegToRad, shape.lon * kDegToRad, 0});
  } else {
    for (int lat = -80; lat <= 80; lat += 10) {
      middle.push_back({lat * kDegToRad, shape.lon * kDegToRad, 0});
    }
  }
  PlacedPoints anchors;
  Place(type, shape, middle, &anchors);
  for (int k = 0; k < 12; ++k) {
    const double scale = 0.35 * std::pow(2.0, k * 0.5);
    for (std::size_t i = 0; i < anchors.x.size(); ++i) {
      Affine p;
      p.a = p.c = scale * w * 0.5;
      p.b = cx - p.a * anchors.x[i];
      p.d = cy - p.c * anchors.y[i];
      out.push_back(p);
    }
  }
  return out;
}

std::vector<Candidate> Search::Scan(TypeModel* type) {
  std::vector<Candidate> found;
  const PictureLevel& level = picture_.levels.front();
  const int w = picture_.width, h = picture_.height;
  PlacedPoints extent, placed;
  // The sphere, and the equator a hair short of a quarter turn either side of the central meridian,
  // where a transverse cylinder runs off to infinity (the sphere's points may all miss it).
  std::vector<EarthSample> reach = extent_;
  reach.resize(extent_.size() + 2);
  for (const Shape& shape : Shapes(*type)) {
    if (Cancelled()) break;
    for (int side = 0; side < 2; ++side) {
      reach[extent_.size() + side] = {0, (shape.lon + (side ? 89.99 : -89.99)) * kDegToRad, 0};
    }
    if (!Place(type, shape, reach, &extent)) continue;
    const std::vector<Affine> placements = Placements(type, shape, extent);
    if (!Place(type, shape, scan_, &placed)) continue;
    // The best placement of each scale: a crop can match at several.
    std::vector<Candidate> scales;
    for (const Affine& p : placements) {
      const Frame frame = Fixed(FrameOf(p, w, h));
      const double score = MatchScore(level, placed, AffineOf(frame, w, h));
      if (score <= 0) continue;
      auto same = std::find_if(scales.begin(), scales.end(), [&](const Candidate& c) {
        return std::fabs(std::log(c.frame.scale / frame.scale)) < 0.1;
      });
      if (same == scales.end()) {
        scales.push_back({type, shape, frame, score});
      } else if (score > same->score) {
        same->frame = frame, same->score = score;
      }
    }
    found.insert(found.end(), scales.begin(), scales.end());
  }
  // The best few, of shapes or scales apart from each other.
  std::sort(found.begin(), found.end(),
            [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
  std::vector<Candidate> kept;
  for (const Candidate& c : found) {
    const bool near = std::any_of(kept.begin(), kept.end(), [&](const Candidate& k) {
      return std::fabs(k.shape.lat - c.shape.lat) < 20 &&
             std::fabs(Wrap180(k.shape.lon - c.shape.lon)) < 25 &&
             std::fabs(k.shape.p1 - c.shape.p1) < 15 && std::fabs(k.shape.p2 - c.shape.p2) < 15 &&
             std::fabs(std::log(k.frame.scale / c.frame.scale)) < 0.3;
    });
    if (!near) kept.push_back(c);
    if (kept.size() == 8) break;
  }
  return kept;
}

void Search::Refine(Candidate* candidate, int level, double stepFactor, int evaluations,
                    int rounds) {
  TypeModel* type = candidate->type;
  const std::lock_guard<std::mutex> hold(type->busy);
  const int w = picture_.width, h = picture_.height;
  // Frame variables: log scale, log aspect, offsets in half-picture units.
  const Frame f = candidate->frame;
  const double aspectTerm = f.aspect + kAspectBias;
  std::vector<double> x, step;
  std::vector<int> role;  // 0 scale, 1 aspect, 2 x, 3 y, 4 lat, 5 lon, 6 p1, 7 p2
  const auto add = [&](int r, double value, double s) {
    role.push_back(r), x.push_back(value), step.push_back(s * stepFactor);
  };
  if (!request_.scale) add(0, std::log(f.scale), 0.03);
  if (!request_.aspect) add(1, std::log(aspectTerm), 0.03);
  if (!request_.offsetX) {
    if (!type->cylinder || request_.centerLon) add(2, f.offsetX * f.scale, 0.02);
    add(3, f.offsetY * f.scale / aspectTerm, 0.02);
  }
  if (type->kind == Kind::kCentred && !request_.centerLat) add(4, candidate->shape.lat, 5);
  if (type->kind != Kind::kFixed && !request_.centerLon) add(5, candidate->shape.lon, 5);
  if (type->kind == Kind::kCone && !request_.parallel1) {
    add(6, candidate->shape.p1, 5);
    add(7, candidate->shape.p2, 5);
  }
  struct Context {
    Search* search;
    Candidate* candidate;
    const std::vector<int>* role;
    const PictureLevel* level;
    const std::vector<EarthSample>* samples;
    PlacedPoints placed;
    Shape placedShape;
    bool placedValid = false;
    int w, h;
  } context{this, candidate, &role, &picture_.levels[level], &samples_[level], {}, {}, false, w, h};
  static constexpr auto decode = [](const Context& c, const double* v, Shape* shape, Frame* frame) {
    *shape = c.candidate->shape;
    *frame = c.candidate->frame;
    double scale = frame->scale, aspectTerm = frame->aspect + kAspectBias;
    double u = frame->offsetX * scale, t = frame->offsetY * scale / aspectTerm;
    bool offsets = false;
    for (std::size_t i = 0; i < c.role->size(); ++i) {
      switch ((*c.role)[i]) {
        case 0: scale = std::exp(v[i]); break;
        case 1: aspectTerm = std::exp(v[i]); break;
        case 2: u = v[i], offsets = true; break;
        case 3: t = v[i], offsets = true; break;
        case 4: shape->lat = v[i]; break;
        case 5: shape->lon = v[i]; break;
        case 6: shape->p1 = v[i]; break;
        case 7: shape->p2 = v[i]; break;
      }
    }
    frame->scale = scale;
    frame->aspect = aspectTerm - kAspectBias;
    if (offsets) {
      frame->offsetX = u / scale;
      frame->offsetY = t * aspectTerm / scale;
    }
  };
  const auto objective = [](unsigned, const double* v, double*, void* data) -> double {
    auto* c = static_cast<Context*>(data);
    Shape shape;
    Frame frame;
    decode(*c, v, &shape, &frame);
    shape = c->search->Normalised(shape, c->candidate->type->kind);
    const bool sameShape = c->placedValid && shape.lat == c->placedShape.lat &&
                           shape.lon == c->placedShape.lon && shape.p1 == c->placedShape.p1 &&
                           shape.p2 == c->placedShape.p2;
    if (!sameShape) {
      c->placedValid = c->search->Place(c->candidate->type, shape, *c->samples, &c->placed);
      c->placedShape = shape;
      if (!c->placedValid) return 0;
    }
    if (c->search->Cancelled()) return 0;
    return MatchScore(*c->level, c->placed, AffineOf(frame, c->w, c->h));
  };
  double best = objective(0, x.data(), nullptr, &context);
  if (!x.empty()) {
    nlopt_opt opt = nlopt_create(NLOPT_LN_NELDERMEAD, static_cast<unsigned>(x.size()));
    nlopt_set_max_objective(opt, objective, &context);
    nlopt_set_initial_step(opt, step.data());
    nlopt_set_maxeval(opt, evaluations);
    nlopt_set_ftol_abs(opt, 1e-5);
    for (int round = 0; round < rounds; ++round) {
      const std::vector<double> start = x;
      double value = 0;
      if (nlopt_optimize(opt, x.data(), &value) <= 0 || value <= best) {
        x = start;
        break;
      }
      const double gain = value - best;
      best = value;
      if (gain < 1e-4) break;
    }
    nlopt_destroy(opt);
  }
  Shape shape;
  Frame frame;
  decode(context, x.data(), &shape, &frame);
  candidate->shape = Normalised(shape, type->kind);
  candidate->frame = frame;
  candidate->score = best;
  candidate->level = level;
}

MapSettings Search::SettingsOf(const Candidate& c) const {
  MapSettings s;
  s.typeCode = c.type->code;
  s.centerLat = c.shape.lat;  // 0 unless searched (azimuthal types) or given
  s.centerLon = c.shape.lon;
  if (c.type->kind == Kind::kFixed) {
    s.centerLat = NorthPositiveLatitude(c.type->instance.centerLat);
    s.centerLon = c.type->instance.centerLon;
  }
  s.scale = c.frame.scale;
  s.aspect = c.frame.aspect;
  s.offsetX = c.frame.offsetX;
  s.offsetY = -c.frame.offsetY;
  if (c.type->kind == Kind::kCone) s.parallel1 = c.shape.p1, s.parallel2 = c.shape.p2;
  return s;
}

}  // namespace

Recognizer::Recognizer(const ReferenceEarth& earth, const RecognizeRequest& request)
    : earth_(earth), request_(request) {
  ProjectionRegistry& registry = GetProjectionRegistry();
  std::vector<int> codes = request.typeCodes;
  if (codes.empty()) {
    if (request.allTypes) {
      for (int code = registry.First(); code != ProjectionRegistry::kEnd; code = registry.Next(code)) {
        codes.push_back(code);
      }
    } else {
      codes = BuiltinCodes();
    }
  }
  for (const int code : codes) {
    if (!registry.IsAvailable(code)) continue;
    auto type = std::make_unique<TypeModel>();
    if (type->instance.Select(code) != 0 || !type->instance.projection) continue;
    type->code = code;
    type->kind = KindOf(registry.GetSlotFlags(code));
    type->cylinder = (registry.GetSlotFlags(code) & Projection::MAP_CYLINDRICAL) &&
                     SlidesWithMeridian(type->instance.projection);
    type->unitScale = type->instance.projection->GetUnitScale();
    types_.push_back(std::move(type));
  }
}

Recognizer::~Recognizer() = default;

RecognizeResult Recognizer::Run(const VideoBuffer& picture, std::vector<Recognition>* results,
                                RasterProgress* progress, int count) {
  results->clear();
  if (!earth_.Loaded()) return RecognizeResult::kNoReference;
  PictureLevels levels;
  if (levels.Build(picture) != 0) return RecognizeResult::kBadPicture;
  Search search(earth_, request_, levels, progress);
  const int fine = static_cast<int>(levels.levels.size()) - 1;

  // Coarse: every type over its grid, the best few of each refined at the coarsest level. The
  // threads share out whole types (and below whole candidates, one per type), so that each
  // projection object is used by one thread at a time and the threads rarely wait for each other.
  std::vector<std::vector<Candidate>> perType(types_.size());
  std::atomic<int> typesDone{0};
#pragma omp parallel for schedule(dynamic, 1)
  for (std::size_t t = 0; t < types_.size(); ++t) {
    perType[t] = search.Scan(types_[t].get());
    for (Candidate& c : perType[t]) search.Refine(&c, 0, 1.0, 200);
    search.Report(60 * ++typesDone / static_cast<int>(types_.size()));
  }
  if (search.Cancelled()) return RecognizeResult::kCancelled;
  std::vector<Candidate> best;
  for (const std::vector<Candidate>& found : perType) {
    for (const Candidate& c : found) {
      if (c.score > 0) best.push_back(c);
    }
  }
  const auto byScore = [](const Candidate& a, const Candidate& b) { return a.score > b.score; };
  std::sort(best.begin(), best.end(), byScore);
  // Finer levels for the leaders only: the scores of the others stay coarse.
  const int middleCount = static_cast<int>(std::min<std::size_t>(best.size(), 10));
  const int fineCount = fine > 1 ? std::min(middleCount, 3) : 0;
  std::atomic<int> refined{0};
#pragma omp parallel for schedule(dynamic, 1)
  for (int i = 0; i < middleCount; ++i) {
    search.Refine(&best[i], std::min(1, fine), 0.4, 250);
    search.Report(60 + 25 * ++refined / middleCount);
  }
  if (search.Cancelled()) return RecognizeResult::kCancelled;
  std::sort(best.begin(), best.begin() + middleCount, byScore);
  refined = 0;
#pragma omp parallel for schedule(dynamic, 1)
  for (int i = 0; i < fineCount; ++i) {
    search.Refine(&best[i], fine, 0.15, 250, 2);
    search.Report(85 + 15 * ++refined / fineCount);
  }
  if (search.Cancelled()) return RecognizeResult::kCancelled;
  // Where two types draw the same map (a cone with parallels at the equator is a plate carree), the
  // one with fewer settings to find is the likelier: a small handicap per searched setting. So is
  // the one drawn at its own shape, with square map units (Kavrayskiy VII is Wagner VI stretched
  // by 2 / sqrt(3)): a smaller handicap for a stretched placement.
  const double w = levels.width, h = levels.height;
  const auto handicapped = [w, h](const Candidate& c) {
    const int settings = c.type->kind == Kind::kCone      ? 3
                         : c.type->kind == Kind::kCentred ? 2
                         : c.type->kind == Kind::kWorld   ? 1
                                                          : 0;
    const double stretch = std::fabs(std::log((c.frame.aspect + kAspectBias) * w / h));
    return c.score - 0.01 * settings - 0.02 * std::min(stretch, 1.0);
  };
  // Scores fall as the detail grows: a candidate left at a coarser level cannot outrank one
  // judged finer.
  std::sort(best.begin(), best.end(), [&](const Candidate& a, const Candidate& b) {
    return a.level != b.level ? a.level > b.level : handicapped(a) > handicapped(b);
  });
  // One line per type: a type's other placements are no alternatives worth showing.
  for (const Candidate& c : best) {
    if (static_cast<int>(results->size()) == count) break;
    const bool shown = std::any_of(results->begin(), results->end(), [&](const Recognition& r) {
      return r.settings.typeCode == c.type->code;
    });
    if (!shown) results->push_back({search.SettingsOf(c), c.score});
  }
  search.Report(100);
  if (results->empty() || results->front().score < kRecognizedScore) {
    return RecognizeResult::kNotRecognised;
  }
  return RecognizeResult::kOk;
}

std::string RecognizeMessage(RecognizeResult result) {
  switch (result) {
    case RecognizeResult::kOk:
      return "Recognised";
    case RecognizeResult::kNotRecognised:
      return "Not recognised: the picture does not match the Earth in any projection";
    case RecognizeResult::kNoReference:
      return std::string("Cannot read the reference Earth picture ") +
             ReferenceEarth::kDefaultPicture + " (Debian package xplanet-images)";
    case RecognizeResult::kBadPicture:
      return "The picture is too small to recognise (at least 64 x 32 pixels)";
    case RecognizeResult::kCancelled:
      return "Recognition cancelled";
  }
  return "";
}

double PlacementRms(const MapSettings& truth, int w, int h, const MapSettings& found, int w2, int h2,
                    double dx, double dy) {
  MapInstance a, b;
  ApplySettings(truth, &a);
  ApplySettings(found, &b);
  if (!a.projection || !b.projection) return INFINITY;
  const Placement pa(a, w, h), pb(b, w2, h2);
  double sum = 0;
  long count = 0, lost = 0;
  for (int lat = -89; lat <= 89; ++lat) {
    for (int lon = -180; lon < 180; ++lon) {
      if (std::fabs(std::remainder(lon - truth.centerLon, 360.0)) > 179) continue;
      const double phi = StoredLatitude(lat) * kDegToRad, lambda = lon * kDegToRad;
      double x, y;
      if (a.projection->Forward(phi, lambda, &x, &y) != 0) continue;
      const double px = pa.X(x), py = pa.Y(y);
      if (!(px >= 0 && py >= 0 && px < w && py < h)) continue;
      if (b.projection->Forward(phi, lambda, &x, &y) != 0) {
        ++lost;
        continue;
      }
      const double ex = pb.X(x) - px - dx, ey = pb.Y(y) - py - dy;
      sum += ex * ex + ey * ey;
      ++count;
    }
  }
  if (count == 0 || lost * 20 > count) return INFINITY;
  return std::sqrt(sum / count);
}
