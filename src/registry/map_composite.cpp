// MapComposite: segment search, placement, exclusions and extents of interrupted projections.
#include "registry/map_composite.h"

#include <algorithm>
#include <cmath>

#include "registry/projection_registry.h"

namespace Projection {

bool SegmentExclusion::Contains(double px, double py) const {
  const std::int32_t kind = shape & kShapeMask;
  if (kind == kCircle) {
    const double dx = px - x[0];
    const double dy = py - y[0];
    return x[1] * x[1] > dx * dx + dy * dy;
  }
  const int corners = kind == kQuadrilateral ? 4 : 3;
  bool inside = false;
  for (int i = 0, j = corners - 1; i < corners; j = i++) {
    const bool spans = (y[i] <= py && py < y[j]) || (y[j] <= py && py < y[i]);
    if (spans && px < (x[j] - x[i]) * (py - y[i]) / (y[j] - y[i]) + x[i]) inside = !inside;
  }
  return inside;
}

void CompositeSegment::UpdateRotation() {
  SinCos(rotation * kDegToRad, &sinRotation, &cosRotation);
  SinCos(-rotation * kDegToRad, &sinInverse, &cosInverse);
}

bool CompositeSegment::Rejects(double px, double py) const {
  return std::any_of(exclusions.begin(), exclusions.end(),
                     [&](const SegmentExclusion& e) { return e.Rejects(px, py); });
}

void MapComposite::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = boundLeft;
  *top = boundTop;
  *right = boundRight;
  *bottom = boundBottom;
}

void MapComposite::AddSegment(const CompositeSegment& segment) {
  segments.push_back(std::make_unique<CompositeSegment>(segment));
}

void MapComposite::AddExtent(const CompositeExtent& extent) {
  extents.push_back(extent);
  boundLeft = std::min(boundLeft, extent.left);
  boundTop = std::max(boundTop, extent.top);
  boundRight = std::max(boundRight, extent.right);
  boundBottom = std::min(boundBottom, extent.bottom);
}

void MapComposite::ReleaseSegments(ProjectionRegistry& registry) {
  for (auto& segment : segments) {
    registry.Release(segment->instance.projection);
    segment->instance.projection = nullptr;
  }
  segments.clear();
}

bool MapComposite::InsideExtents(double x, double y) const {
  return std::all_of(extents.begin(), extents.end(), [&](const CompositeExtent& e) {
    return e.left <= x && x <= e.right && e.bottom <= y && y <= e.top;
  });
}

bool MapComposite::SegmentForward(const CompositeSegment& s, double lat, double lon, double* x,
                                  double* y) {
  if (lat < s.effectiveBottom || lat > s.effectiveTop || lon < s.effectiveLeft ||
      lon > s.effectiveRight) {
    return false;
  }
  MapProject* p = s.instance.projection;
  double u, v;
  if (!p || p->Forward(lat * kDegToRad, lon * kDegToRad, &u, &v) != 0) return false;
  u /= s.instance.unitFactor;
  v /= s.instance.unitFactor;
  if (s.Rejects(u, v)) return false;
  const double u1 = s.scaleX * u;
  const double v1 = s.scaleY * v;
  *x = s.cosRotation * u1 - s.sinRotation * v1 + s.offsetX;
  *y = s.cosRotation * v1 + s.sinRotation * u1 + s.offsetY;
  return true;
}

int MapComposite::FirstForward(double lat, double lon, std::size_t hint, double* x,
                               double* y) const {
  const std::size_t count = segments.size();
  std::size_t end = count;  // segments before `end` may still take the point from a later one
  int found = -1;
  if (hint < count && SegmentForward(*segments[hint], lat, lon, x, y)) {
    found = static_cast<int>(hint);
    end = hint;
  }
  double u, v;
  for (std::size_t i = 0; i < end; ++i) {
    if (SegmentForward(*segments[i], lat, lon, &u, &v)) {
      *x = u;
      *y = v;
      return static_cast<int>(i);
    }
  }
  return found;
}

int MapComposite::Forward(double latitude, double longitude, double* x, double* y) {
  int segment;
  return ForwardSegment(latitude, longitude, x, y, &segment);
}

int MapComposite::ForwardSegment(double latitude, double longitude, double* x, double* y,
                                 int* segment) const {
  // The segment that answered last in this thread is tried first: neighbouring pixels mostly fall
  // on one segment. Only the speed depends on it, never the answer.
  thread_local const MapComposite* hintOwner = nullptr;
  thread_local std::size_t hint = 0;
  const std::size_t start = cacheEnabled && hintOwner == this ? hint : segments.size();
  const double lat = (latitude - centerLat) * kRadToDeg;
  const double lon = WrapAngle(longitude - centerLon) * kRadToDeg;
  *segment = FirstForward(lat, lon, start, x, y);
  if (*segment < 0) return -1;
  hintOwner = this;
  hint = static_cast<std::size_t>(*segment);
  *x += offsetX;
  *y += offsetY;
  return InsideExtents(*x, *y) ? 0 : -1;
}

int MapComposite::Inverse(double x, double y, double* latitude, double* longitude) {
  int segment;
  return InverseSegment(x, y, latitude, longitude, &segment);
}

int MapComposite::InverseSegment(double x, double y, double* latitude, double* longitude,
                                 int* segment) const {
  *segment = -1;
  if (!InsideExtents(x, y)) return -1;
  const double cx = x - offsetX;
  const double cy = y - offsetY;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const CompositeSegment& s = *segments[i];
    MapProject* p = s.instance.projection;
    if (!p || s.Rejects(cx, cy)) continue;
    const double dx = cx - s.offsetX;
    const double dy = cy - s.offsetY;
    const double u = (s.cosInverse * dx - s.sinInverse * dy) / s.scaleX * s.instance.unitFactor;
    const double v = (s.cosInverse * dy + s.sinInverse * dx) / s.scaleY * s.instance.unitFactor;
    double lat, lon;
    // A clamping inverse (Mollweide) can give NaN beyond its outline, which no limit rejects.
    if (p->Inverse(u, v, &lat, &lon) != 0 || !std::isfinite(lat) || !std::isfinite(lon)) continue;
    lat *= kRadToDeg;
    lon *= kRadToDeg;
    if (lat < s.effectiveBottom || lat > s.effectiveTop || lon < s.effectiveLeft ||
        lon > s.effectiveRight) {
      continue;
    }
    *segment = static_cast<int>(i);
    *latitude = lat * kDegToRad + centerLat;
    *longitude = WrapAngle(lon * kDegToRad + centerLon);
    return 0;
  }
  return -1;
}

}  // namespace Projection
