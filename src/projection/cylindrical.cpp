// Cylindrical projections: equirectangular, Mercator, Miller, cylindrical equal-area and Gall
// stereographic.
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

// ---- Cylindrical equal-area ---------------------------------------------------------------

// Row::value of the two classes below: [0] x per radian, [1] y with the offset.
namespace {
int PlaceInCylinderRow(const MapProject& p, const RowForward::Row& row, double longitude, double* x,
                       double* y) {
  *x = row.value[0] * WrapAngle(longitude - p.centerLon) + p.offsetX;
  *y = row.value[1];
  return 0;
}
}  // namespace

int MapCylindricalEqualArea::Init(double centerLatitude, double centerLongitude, double yOffset,
                                  double xOffset, double a, double b, double parallel1, double) {
  CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
  FixedLatitudeWindow();
  const double k = std::cos(parallel1);
  if (!(k > epsilon)) return -1;  // a standard parallel at a pole squeezes the world to a line
  scaleK = k;
  return 0;
}

void MapCylindricalEqualArea::PrepareRow(double latitude, Row* row) const {
  row->status = 0;
  row->value[0] = axisA * scaleK;
  row->value[1] = axisA * std::sin(latitude) / scaleK + offsetY;
}

int MapCylindricalEqualArea::ForwardInRow(const Row& row, double longitude, double* x,
                                          double* y) const {
  return PlaceInCylinderRow(*this, row, longitude, x, y);
}

int MapCylindricalEqualArea::Inverse(double x, double y, double* latitude, double* longitude) {
  const double s = (y - offsetY) * scaleK / axisA;
  if (!(std::fabs(s) <= 1)) return -1;
  const double phi = std::asin(s);
  const double lambda = (x - offsetX) / (axisA * scaleK) + centerLon;
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapCylindricalEqualArea::GetUnitScale() const { return kInvPi; }

void MapCylindricalEqualArea::GetBounds(double* left, double* top, double* right,
                                        double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapCylindricalEqualArea::GetDescription() const {
  return "The cylindrical equal-area projection, described by Johann Heinrich Lambert in 1772, "
         "keeps areas true by spacing the parallels ever closer towards the poles. It is true "
         "to scale along two standard parallels, set by the first parallel: 0 degrees gives "
         "Lambert's original, 30 degrees the Behrmann projection, 45 degrees the Gall-Peters "
         "projection (and 37.5 degrees Hobo-Dyer). Shapes are squashed towards the poles and "
         "stretched near the equator; it serves maps of distributions.";
}

// ---- Gall stereographic -----------------------------------------------------------------

namespace {
constexpr double kGallX = 0.7071067811865475;     // 1 / sqrt(2)
constexpr double kGallY = 1.7071067811865475;     // 1 + sqrt(2) / 2
constexpr double kGallInvX = 1.4142135623730951;  // sqrt(2)
}  // namespace

void MapGallStereographic::PrepareRow(double latitude, Row* row) const {
  row->status = 0;
  row->value[0] = axisA * kGallX;
  row->value[1] = axisA * kGallY * std::tan(latitude / 2) + offsetY;
}

int MapGallStereographic::ForwardInRow(const Row& row, double longitude, double* x,
                                       double* y) const {
  return PlaceInCylinderRow(*this, row, longitude, x, y);
}

int MapGallStereographic::Inverse(double x, double y, double* latitude, double* longitude) {
  const double t = (y - offsetY) / (axisA * kGallY);
  if (!(std::fabs(t) <= 1)) return -1;
  const double phi = 2 * std::atan(t);
  const double lambda = (x - offsetX) * kGallInvX / axisA + centerLon;
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapGallStereographic::GetUnitScale() const { return 1 / (kPi * kGallX); }

void MapGallStereographic::GetBounds(double* left, double* top, double* right,
                                     double* bottom) const {
  *left = -kPi * kGallX;
  *top = kGallY;
  *right = kPi * kGallX;
  *bottom = -kGallY;
}

std::string MapGallStereographic::GetDescription() const {
  return "The Gall stereographic projection, presented by James Gall in 1855, projects the "
         "globe from the point of the equator opposite each meridian onto a cylinder that cuts "
         "the globe at 45 degrees north and south. Neither conformal nor equal-area, it shows "
         "the poles as lines and keeps high latitudes far less stretched than Mercator; it is "
         "common in British world atlases.";
}

MapProject* CreateEquirectangular() { return new (std::nothrow) MapEquirectangular; }
MapProject* CreateMercator() { return new (std::nothrow) MapMercator; }
MapProject* CreateMillerCylindrical() { return new (std::nothrow) MapMillerCylindrical; }
MapProject* CreateCylindricalEqualArea() { return new (std::nothrow) MapCylindricalEqualArea; }
MapProject* CreateGallStereographic() { return new (std::nothrow) MapGallStereographic; }

}  // namespace Projection
