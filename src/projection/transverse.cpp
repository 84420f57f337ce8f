// Transverse Mercator and Cassini.
//
// Both measure a point by its angular distance from the central meridian's great circle and the
// latitude-like angle along it; the forms below use atan2 and hypot so that neither the poles nor
// the points near 90 degrees from the central meridian lose digits.
#include "projection/transverse.h"

#include <cmath>
#include <new>

#include "projection/world_frame.h"

namespace Projection {
namespace {

// A point seen from the central meridian's great circle.
struct Transverse {
  double sinAcross, cosAcross;  // of the angular distance from the central meridian's circle
  double along;                 // angle along that great circle from the equator, in (-pi, pi]
};

Transverse ToTransverse(const MapProject& p, double latitude, double longitude) {
  double sinPhi, cosPhi, sinLon, cosLon;
  SinCos(latitude, &sinPhi, &cosPhi);
  SinCos(WrapAngle(longitude - p.centerLon), &sinLon, &cosLon);
  return {cosPhi * sinLon, std::hypot(sinPhi, cosPhi * cosLon),
          std::atan2(sinPhi, cosPhi * cosLon)};
}

// The angle along the central great circle of map y, or false beyond the map.
bool AlongFromY(const MapProject& p, double y, double* along) {
  *along = (y - p.offsetY) / p.axisA + p.centerLat;
  return std::fabs(*along) <= kPi;
}

// Latitude and longitude of the point at angle `along` on the central great circle, moved across
// it by the angle whose sine and cosine are given; writes both and tests the window.
int FromTransverse(const MapProject& p, double along, double sinAcross, double cosAcross,
                   double* latitude, double* longitude) {
  double sinAlong, cosAlong;
  SinCos(along, &sinAlong, &cosAlong);
  const double phi = std::atan2(sinAlong * cosAcross, std::hypot(sinAcross, cosAlong * cosAcross));
  const double lambda = std::atan2(sinAcross, cosAlong * cosAcross) + p.centerLon;
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return p.InsideBounds(phi, lambda);
}

// Half-widths of the band within 80 degrees of the central meridian.
constexpr double kTransverseMercatorHalfWidth = 2.4362460537158763;  // atanh(sin 80 deg)
constexpr double kCassiniHalfWidth = 1.3962634015954636;             // 80 deg in radians
constexpr double kInfinityTolerance = 1e-10;

}  // namespace

// ---- Transverse Mercator ----------------------------------------------------------------------

int MapTransverseMercator::Forward(double latitude, double longitude, double* x, double* y) {
  const Transverse t = ToTransverse(*this, latitude, longitude);
  if (!(std::fabs(std::fabs(t.sinAcross) - 1) > kInfinityTolerance)) return -1;
  *x = axisA * std::asinh(t.sinAcross / t.cosAcross) + offsetX;
  *y = axisA * (t.along - centerLat) + offsetY;
  return 0;
}

int MapTransverseMercator::Inverse(double x, double y, double* latitude, double* longitude) {
  double along;
  if (!AlongFromY(*this, y, &along)) return -1;
  const double across = (x - offsetX) / axisA;
  // sin and cos of the angle across are tanh and sech of x.
  const double cosAcross = 1 / std::cosh(across);
  return FromTransverse(*this, along, std::tanh(across), cosAcross, latitude, longitude);
}

double MapTransverseMercator::GetUnitScale() const { return 1 / kTransverseMercatorHalfWidth; }

void MapTransverseMercator::GetBounds(double* left, double* top, double* right,
                                      double* bottom) const {
  *left = -kTransverseMercatorHalfWidth;
  *top = kPi;
  *right = kTransverseMercatorHalfWidth;
  *bottom = -kPi;
}

std::string MapTransverseMercator::GetDescription() const {
  return "The transverse Mercator projection, presented by Johann Heinrich Lambert in 1772, is "
         "the Mercator projection turned on its side: the cylinder touches the globe along a "
         "meridian instead of the equator. It is conformal and true to scale along the central "
         "meridian, so a narrow zone either side of it is mapped almost without distortion; "
         "the points 90 degrees away on the equator lie at infinity. Its ellipsoidal form "
         "underlies the UTM grid and most national grids; this is the spherical form, for "
         "regional maps centred on the chosen meridian and latitude.";
}

// ---- Cassini ----------------------------------------------------------------------------------

int MapCassini::Forward(double latitude, double longitude, double* x, double* y) {
  const Transverse t = ToTransverse(*this, latitude, longitude);
  *x = axisA * std::atan2(t.sinAcross, t.cosAcross) + offsetX;
  *y = axisA * (t.along - centerLat) + offsetY;
  return 0;
}

int MapCassini::Inverse(double x, double y, double* latitude, double* longitude) {
  double along;
  if (!AlongFromY(*this, y, &along)) return -1;
  const double across = (x - offsetX) / axisA;
  if (!(std::fabs(across) <= kHalfPi)) return -1;
  double sinAcross, cosAcross;
  SinCos(across, &sinAcross, &cosAcross);
  return FromTransverse(*this, along, sinAcross, cosAcross, latitude, longitude);
}

double MapCassini::GetUnitScale() const { return 1 / kCassiniHalfWidth; }

void MapCassini::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kCassiniHalfWidth;
  *top = kPi;
  *right = kCassiniHalfWidth;
  *bottom = -kPi;
}

std::string MapCassini::GetDescription() const {
  return "The Cassini projection, used by Cesar-Francois Cassini de Thury for the survey of "
         "France in the eighteenth century, is the transverse aspect of the equirectangular "
         "projection: distances along the central meridian and along the great circles at "
         "right angles to it are true. Scale grows away from the central meridian, so it suits "
         "regions stretched north-south; it was the projection of the British Ordnance Survey "
         "and of many old cadastral maps.";
}

MapProject* CreateTransverseMercator() { return new (std::nothrow) MapTransverseMercator; }
MapProject* CreateCassini() { return new (std::nothrow) MapCassini; }

}  // namespace Projection
