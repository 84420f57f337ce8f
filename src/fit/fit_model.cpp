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

bool IsShared(MapInstance& instance) {
  return dynamic_cast<Projection::MapComposite*>(instance.projection) != nullptr;
}

}  // namespace Fit
