// Cylindrical projections: equirectangular, Mercator and Miller.
#include "projection/cylindrical.h"

#include <cmath>
#include <new>

#include "projection/ellipsoid.h"
#include "projection/world_frame.h"

namespace Projection {

// ---- Equirectangular -----------------------------------------------------------------------

int MapEquirectangular::Forward(double latitude, double longitude, double* x, double* y) {
  *x = axisA * WrapAngle(longitude - centerLon) + offsetX;
  *y = axisA * latitude + offsetY;
  return 0;
}

int MapEquirectangular::Inverse(double x, double y, double* latitude, double* longitude) {
  const double phi = (y - offsetY) / axisA;
  *latitude = phi;
  if (std::fabs(phi) > kHalfPi) return -1;
  const double lambda = (x - offsetX) / axisA + centerLon;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapEquirectangular::GetUnitScale() const { return kInvPi; }

void MapEquirectangular::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapEquirectangular::GetDescription() const {
  return "The equirectangular projection, also called plate carree or the geographic "
         "projection, maps meridians to equally spaced vertical lines and parallels to equally "
         "spaced horizontal lines, so that x is simply the longitude and y the latitude. It is "
         "neither conformal nor equal-area, but it keeps distances true along every meridian "
         "and along the equator. It is credited to Marinus of Tyre, about AD 100. Since every "
         "pixel of a raster in this projection stands for a fixed step of latitude and "
         "longitude, it is the common exchange format of global imagery, elevation models, "
         "globe textures and geographic information systems.";
}

// ---- Mercator ----------------------------------------------------------------------------

int MapMercator::Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset,
                      double a, double b, double, double) {
  CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
  FixedLatitudeWindow();
  scaleK = 1.0;
  // A minor axis longer than the major one has no real eccentricity: treat it as the sphere.
  const double ratio = b / a;
  e = ratio < 1.0 ? std::sqrt(1.0 - ratio * ratio) : 0.0;
  return 0;
}

void MapMercator::PrepareRow(double latitude, Row* row) const {
  const double k = scaleK * axisA;
  row->status = std::fabs(std::fabs(latitude) - kHalfPi) <= epsilon ? -1 : 0;
  row->value[0] = k;
  row->value[1] =
      row->status ? 0 : offsetY - k * std::log(ConformalT(e, latitude, std::sin(latitude)));
}

int MapMercator::ForwardInRow(const Row& row, double longitude, double* x, double* y) const {
  if (row.status) return -1;
  *x = WrapAngle(longitude - centerLon) * row.value[0] + offsetX;
  *y = row.value[1];
  return 0;
}

int MapMercator::Inverse(double x, double y, double* latitude, double* longitude) {
  const double k = axisA * scaleK;
  int code = 0;
  const double phi = LatitudeFromConformalT(e, std::exp((offsetY - y) / k), &code);
  *latitude = phi;
  if (code != 0) return -1;
  const double lambda = (x - offsetX) / k + centerLon;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapMercator::GetUnitScale() const { return kInvPi; }

void MapMercator::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapMercator::GetDescription() const {
  return "The Mercator projection is a conformal cylindrical projection presented by Gerardus "
         "Mercator in 1569 for navigation at sea. Every line of constant compass bearing, a "
         "rhumb line, is drawn as a straight line, so a navigator can read a course directly "
         "from the chart. To stay conformal the parallels are spaced ever further apart "
         "towards the poles, and the scale grows with the secant of the latitude: Greenland "
         "looks as large as Africa although it is fourteen times smaller. The poles lie at "
         "infinity. Web maps use its spherical form for its faithful local shapes, too.";
}

// ---- Miller cylindrical ----------------------------------------------------------------

namespace {
constexpr double kMillerY = 1.25;      // 5/4
constexpr double kMillerLat = 0.4;     // 2/5
constexpr double kMillerInvY = 0.8;    // 4/5
constexpr double kMillerInvLat = 2.5;  // 5/2
}  // namespace

void MapMillerCylindrical::PrepareRow(double latitude, Row* row) const {
  row->status = 0;
  row->value[0] =
      kMillerY * axisA * std::log(std::tan(kMillerLat * latitude + kQuarterPi)) + offsetY;
}

int MapMillerCylindrical::ForwardInRow(const Row& row, double longitude, double* x,
                                       double* y) const {
  *x = axisA * WrapAngle(longitude - centerLon) + offsetX;
  *y = row.value[0];
  return 0;
}

int MapMillerCylindrical::Inverse(double x, double y, double* latitude, double* longitude) {
  const double lambda = (x - offsetX) / axisA + centerLon;
  *longitude = lambda;
  const double phi =
      kMillerInvLat * (std::atan(std::exp(kMillerInvY * (y - offsetY) / axisA)) - kQuarterPi);
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapMillerCylindrical::GetUnitScale() const { return kInvPi; }

void MapMillerCylindrical::GetBounds(double* left, double* top, double* right,
                                     double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapMillerCylindrical::GetDescription() const {
  return "The Miller cylindrical projection was introduced by Osborn Maitland Miller in 1942 "
         "as a compromise between the Mercator and the equirectangular projections. It spaces "
         "the parallels like a Mercator map of four fifths of the latitude, scaled up by five "
         "quarters, so the poles can be mapped and shapes stay almost conformal.";
}

MapProject* CreateEquirectangular() { return new (std::nothrow) MapEquirectangular; }
MapProject* CreateMercator() { return new (std::nothrow) MapMercator; }
MapProject* CreateMillerCylindrical() { return new (std::nothrow) MapMillerCylindrical; }

}  // namespace Projection
