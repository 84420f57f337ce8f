// The placement model shared by the fits.
#include "fit/fit_model.h"

#include <algorithm>
#include <cmath>

#include "registry/map_composite.h"

namespace Fit {

namespace {

// The aspect term of Placement: the vertical extent is scale / (aspect + kAspectBias).
constexpr double kAspectBias = 0.0001;

double Single(double v) { return static_cast<float>(v); }

}  // namespace

Linear LinearOf(const MapInstance& instance, int width, int height) {
  const double k = 1 / instance.unitFactor;
  Linear l;
  l.a = instance.scale * (width * 0.5) * k;
  l.c = instance.scale / (instance.aspect + kAspectBias) * (height * 0.5) * k;
  l.b = l.a * instance.offsetX + width * 0.5;
  l.d = l.c * instance.offsetY + height * 0.5;
  return l;
}

void SetLinear(const Linear& l, int width, int height, MapInstance* instance) {
  const double k = 1 / instance->unitFactor;
  instance->scale = l.a / ((width * 0.5) * k);
  instance->aspect = instance->scale * (height * 0.5) * k / l.c - kAspectBias;
  instance->offsetX = (l.b - width * 0.5) / l.a;
  instance->offsetY = (l.d - height * 0.5) / l.c;
}

void RoundToSingle(MapInstance* m) {
  m->centerLat = Single(m->centerLat);
  m->centerLon = Single(m->centerLon);
  m->offsetX = m->unitFactor * Single(m->offsetX / m->unitFactor);
  m->offsetY = m->unitFactor * Single(m->offsetY / m->unitFactor);
  m->scale = Single(m->scale);
  m->aspect = Single(m->aspect);
}

void RoundToSingle(MapSettings* s) {
  s->centerLat = Single(s->centerLat);
  s->centerLon = Single(s->centerLon);
  s->offsetX = Single(s->offsetX);
  s->offsetY = Single(s->offsetY);
  s->scale = Single(s->scale);
  s->aspect = Single(s->aspect);
}

bool ShapePoint(Projection::MapProject* p, double latitude, double longitude, double* xs,
                double* ys) {
  double x, y;
  if (p->Forward(latitude * Projection::kDegToRad, longitude * Projection::kDegToRad, &x, &y) !=
          0 ||
      !std::isfinite(x) || !std::isfinite(y)) {
    return false;
  }
  *xs = x - p->offsetX;
  *ys = y - p->offsetY;
  return true;
}

bool ShapeInside(Projection::MapProject* p, double xs, double ys, double tolerance) {
  const double x = xs + p->offsetX, y = ys + p->offsetY;
  double lat, lon, fx, fy;
  if (p->Inverse(x, y, &lat, &lon) != 0 || !std::isfinite(lat) || !std::isfinite(lon)) {
    return false;
  }
  // As RenderProjection: a longitude just past the seam is tried wrapped and held at the edge.
  for (const double candidate :
       {Projection::WrapAngle(lon), std::clamp(lon, -Projection::kPi, Projection::kPi)}) {
    if (p->Forward(lat, candidate, &fx, &fy) == 0 && std::fabs(fx - x) <= tolerance &&
        std::fabs(fy - y) <= tolerance) {
      return true;
    }
  }
  return false;
}

namespace {

// Halvings of the bracket around a change of a line: a millionth of the probes' spacing.
constexpr int kChangeHalvings = 20;
// Lines of a table at most; a finer step is widened.
constexpr double kMostLines = 8192;

// The midpoints of a line's pieces between `left` and `right`.
void AddMidpoints(const std::vector<double>& changes, double left, double right,
                  std::vector<double>* xs) {
  double from = left;
  for (const double change : changes) xs->push_back(0.5 * (from + change)), from = change;
  xs->push_back(0.5 * (from + right));
}

}  // namespace

ShapeRows::ShapeRows(Projection::MapProject* projection, const std::array<double, 4>& box,
                     double step, double tolerance)
    : projection_(projection),
      tolerance_(tolerance),
      left_(box[0]),
      right_(box[2]),
      top_(box[1]),
      step_(std::max(step, (box[3] - box[1]) / kMostLines)) {
  const double height = box[3] - box[1];
  if (!(step_ > 0 && height > 0 && right_ > left_) || !std::isfinite(height / step_) ||
      !std::isfinite(right_ - left_)) {
    return;  // no table: ShapeInside answers
  }
  const std::size_t count = static_cast<std::size_t>(height / step_) + 2;
  lines_.resize(count);
  std::vector<std::vector<std::pair<double, bool>>> probes(count);
  const double spacing = (right_ - left_) / kProbes;
  std::vector<double> xs;
  for (std::size_t j = 0; j < count; ++j) {
    const double y = top_ + j * step_;
    xs.clear();
    for (int i = 0; i <= kProbes; ++i) xs.push_back(left_ + i * spacing);
    if (j > 0) AddMidpoints(lines_[j - 1].changes, left_, right_, &xs);
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    for (const double x : xs) probes[j].push_back({x, ShapeInside(projection_, x, y, tolerance_)});
    Settle(y, probes[j], &lines_[j]);
  }
  // Upwards, for pieces that begin below a line (a pole's point at the top of a piece).
  for (std::size_t j = count - 1; j-- > 0;) {
    const double y = top_ + j * step_;
    xs.clear();
    AddMidpoints(lines_[j + 1].changes, left_, right_, &xs);
    bool missed = false;
    for (const double x : xs) {
      const bool inside = ShapeInside(projection_, x, y, tolerance_);
      if (inside == lines_[j].At(x)) continue;
      const std::pair<double, bool> probe(x, inside);
      probes[j].insert(std::lower_bound(probes[j].begin(), probes[j].end(), probe), probe);
      missed = true;
    }
    if (missed) Settle(y, probes[j], &lines_[j]);
  }
}

bool ShapeRows::Line::At(double x) const {
  const auto before = std::upper_bound(changes.begin(), changes.end(), x) - changes.begin();
  return startInside != (before % 2 == 1);
}

void ShapeRows::Settle(double y, const std::vector<std::pair<double, bool>>& probes,
                       Line* line) const {
  line->startInside = probes.front().second;
  line->changes.clear();
  for (std::size_t i = 1; i < probes.size(); ++i) {
    const bool was = probes[i - 1].second;
    if (probes[i].second == was) continue;
    double a = probes[i - 1].first, b = probes[i].first;
    for (int k = 0; k < kChangeHalvings; ++k) {
      const double m = 0.5 * (a + b);
      (ShapeInside(projection_, m, y, tolerance_) == was ? a : b) = m;
    }
    line->changes.push_back(0.5 * (a + b));
  }
}

bool ShapeRows::Inside(double xs, double ys) const {
  const double t = (ys - top_) / step_;
  if (lines_.size() < 2 || !(t >= 0 && t < lines_.size() - 1) || !(xs >= left_ && xs <= right_)) {
    return ShapeInside(projection_, xs, ys, tolerance_);
  }
  const std::size_t j = static_cast<std::size_t>(t);
  const bool above = lines_[j].At(xs);
  return above == lines_[j + 1].At(xs) ? above : ShapeInside(projection_, xs, ys, tolerance_);
}

bool IsShared(MapInstance& instance) {
  return dynamic_cast<Projection::MapComposite*>(instance.projection) != nullptr;
}

}  // namespace Fit
