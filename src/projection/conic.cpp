// Conic projections: Albers equal-area, Lambert conformal and equidistant (one standard parallel).
#include "projection/conic.h"

#include <cmath>
#include <new>

#include "projection/ellipsoid.h"
#include "projection/world_frame.h"

namespace Projection {
namespace {

double EccentricitySquared(double a, double b) { return 1 - (b / a) * (b / a); }

// Final step of every Forward: the point at radius rho from the apex, turned by n times its
// longitude difference.
int PlaceOnCone(const MapProject& p, double n, double rho, double longitude, double* x, double* y) {
  double s, c;
  SinCos(n * WrapAngle(longitude - p.centerLon), &s, &c);
  *x = p.offsetX + rho * s;
  *y = p.offsetY + p.rho0 - rho * c;
  return 0;
}

// First steps of every Inverse: radius from the apex and the unwrapped longitude. A southern cone
// measures both from the other side.
struct ConePoint {
  double rho;
  double rawLongitude;
};

ConePoint FromApex(const MapProject& p, double n, bool southern, double x, double y) {
  double dx = x - p.offsetX;
  double dy = p.rho0 - (y - p.offsetY);
  double rho = std::sqrt(dy * dy + dx * dx);
  if (southern) {
    rho = -rho;
    dx = -dx;
    dy = -dy;
  }
  const double theta = rho != 0 ? std::atan2(dx, dy) : 0.0;
  return {rho, p.centerLon + theta / n};
}

}  // namespace

// ---- Albers equal-area conic ------------------------------------------------------------------

namespace {
// Below this eccentricity the authalic function is its spherical limit 2 sin phi.
constexpr double kAlbersSphereEccentricity = 1e-7;
constexpr double kAlbersPoleTolerance = 1e-10;

double AlbersQ(double e, double sinPhi) {
  return e > kAlbersSphereEccentricity ? AuthalicQ(e, sinPhi) : 2 * sinPhi;
}

// q at the pole of an ellipsoid (e > 0).
double AlbersPoleQ(double e, double es) {
  return 1 - ((1 - es) / (2 * e)) * std::log((1 - e) / (1 + e));
}
}  // namespace

int MapAlbersEqualAreaConic::Init(double centerLatitude, double centerLongitude, double yOffset,
                                  double xOffset, double a, double b, double parallel1,
                                  double parallel2) {
  CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
  CenteredLatitudeWindow();
  if (epsilon > std::fabs(parallel1 + parallel2)) return -1;  // parallels symmetric: no cone
  es = EccentricitySquared(a, b);
  e3 = std::sqrt(es);
  double sin1, cos1, sin2, cos2;
  SinCos(parallel1, &sin1, &cos1);
  SinCos(parallel2, &sin2, &cos2);
  const double m1 = ParallelRadius(e3, sin1, cos1);
  const double m2 = ParallelRadius(e3, sin2, cos2);
  const double q1 = AlbersQ(e3, sin1);
  const double q2 = AlbersQ(e3, sin2);
  const double q0 = AlbersQ(e3, sinCenterLat);
  ns = std::fabs(parallel1 - parallel2) > epsilon ? (m1 * m1 - m2 * m2) / (q2 - q1) : sin1;
  c = m1 * m1 + ns * q1;
  rho0 = a * std::sqrt(c - ns * q0) / ns;
  return 0;
}

int MapAlbersEqualAreaConic::Forward(double latitude, double longitude, double* x, double* y) {
  const double rho = axisA * std::sqrt(c - ns * AlbersQ(e3, std::sin(latitude))) / ns;
  return PlaceOnCone(*this, ns, rho, longitude, x, y);
}

int MapAlbersEqualAreaConic::Inverse(double x, double y, double* latitude, double* longitude) {
  const ConePoint point = FromApex(*this, ns, ns < 0, x, y);
  const double nRho = ns * point.rho / axisA;
  const double q = (c - nRho * nRho) / ns;
  const double e = e3;
  double phi;
  if (e >= kAlbersPoleTolerance &&
      std::fabs(std::fabs(AlbersPoleQ(e, es)) - std::fabs(q)) <= kAlbersPoleTolerance) {
    phi = q >= 0 ? kHalfPi : -kHalfPi;
  } else {
    int code = 0;
    phi = LatitudeFromAuthalicQ(e, q, epsilon, &code);
    if (code != 0) {
      *latitude = 0;
      return code;
    }
  }
  *latitude = phi;
  *longitude = WrapAngle(point.rawLongitude);
  if (std::fabs(phi) >= kHalfPi) return -1;
  return InsideBounds(phi, point.rawLongitude);
}

double MapAlbersEqualAreaConic::GetUnitScale() const { return 0.3333333333333333; }

void MapAlbersEqualAreaConic::GetBounds(double* left, double* top, double* right,
                                        double* bottom) const {
  *left = -1;
  *top = 0.5;
  *right = 1;
  *bottom = -0.5;
}

std::string MapAlbersEqualAreaConic::GetDescription() const {
  return "The Albers equal-area conic projection, presented by Heinrich Albers in 1805, keeps "
         "areas true and is exact in scale along two standard parallels. It is the common "
         "equal-area map of the forty-eight contiguous US states.";
}

// ---- Lambert conformal conic ------------------------------------------------------------------

int MapLambertConformalConic::Init(double centerLatitude, double centerLongitude, double yOffset,
                                   double xOffset, double a, double b, double parallel1,
                                   double parallel2) {
  CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
  CenteredLatitudeWindow();
  if (epsilon > std::fabs(parallel1 + parallel2)) return -1;  // parallels symmetric: no cone
  es = EccentricitySquared(a, b);
  e = std::sqrt(es);
  double sin1, cos1;
  SinCos(parallel1, &sin1, &cos1);
  const double m1 = ParallelRadius(e, sin1, cos1);
  const double t1 = ConformalT(e, parallel1, sin1);
  const double t0 = ConformalT(e, centerLat, sinCenterLat);
  if (std::fabs(parallel1 - parallel2) > epsilon) {
    double sin2, cos2;
    SinCos(parallel2, &sin2, &cos2);
    const double m2 = ParallelRadius(e, sin2, cos2);
    const double t2 = ConformalT(e, parallel2, sin2);
    coneN = std::log(m1 / m2) / std::log(t1 / t2);
  } else {
    coneN = sin1;
  }
  coneF = m1 / (coneN * std::pow(t1, coneN));
  rho0 = a * coneF * std::pow(t0, coneN);
  return 0;
}

int MapLambertConformalConic::Forward(double latitude, double longitude, double* x, double* y) {
  double rho = 0;  // the pole at the cone's apex
  if (std::fabs(std::fabs(latitude) - kHalfPi) > epsilon) {
    rho = axisA * coneF * std::pow(ConformalT(e, latitude, std::sin(latitude)), coneN);
  } else if (coneN * latitude <= 0) {
    return -1;  // the other pole lies at infinity
  }
  return PlaceOnCone(*this, coneN, rho, longitude, x, y);
}

int MapLambertConformalConic::Inverse(double x, double y, double* latitude, double* longitude) {
  const ConePoint point = FromApex(*this, coneN, coneN <= 0, x, y);
  *longitude = point.rawLongitude;
  double phi = -kHalfPi;
  if (point.rho != 0 || coneN > 0) {
    int code = 0;
    phi = LatitudeFromConformalT(e, std::pow(point.rho / (axisA * coneF), 1 / coneN), &code);
    if (code != 0) {
      *latitude = 0;
      return -1;
    }
  }
  *latitude = phi;
  *longitude = WrapAngle(point.rawLongitude);
  if (std::fabs(phi) >= kHalfPi) return -1;  // the apex
  return InsideBounds(phi, point.rawLongitude);
}

double MapLambertConformalConic::GetUnitScale() const { return 0.25; }

void MapLambertConformalConic::GetBounds(double* left, double* top, double* right,
                                         double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapLambertConformalConic::GetDescription() const {
  return "The Lambert conformal conic projection, presented by Johann Heinrich Lambert in 1772, "
         "keeps angles and small shapes true and is exact in scale along two standard "
         "parallels. Straight lines come close to great circles, so it is the usual projection "
         "for aeronautical charts.";
}

// ---- Equidistant conic ------------------------------------------------------------------------

int MapEquidistantConic::Init(double centerLatitude, double centerLongitude, double yOffset,
                              double xOffset, double a, double b, double parallel1, double) {
  CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
  CenteredLatitudeWindow();
  const double sin1 = std::sin(parallel1);
  // A standard parallel on the equator gives a cone constant of 0: a cylinder, not a cone.
  if (epsilon > std::fabs(sin1)) return -1;
  es = EccentricitySquared(a, b);
  e = std::sqrt(es);
  const MeridianSeries series = MeridianCoefficients(es);
  e0 = series.e0;
  e1 = series.e1;
  e2 = series.e2;
  e3 = series.e3;
  coneN = sin1;
  g = std::cos(parallel1) / (std::sqrt(1 - es * sin1 * sin1) * sin1) +
      MeridianDistance(series, parallel1);
  ml0 = MeridianDistance(series, centerLat);
  rho0 = (g - ml0) * a;
  return 0;
}

int MapEquidistantConic::Forward(double latitude, double longitude, double* x, double* y) {
  const double rho = (g - MeridianDistance({e0, e1, e2, e3}, latitude)) * axisA;
  return PlaceOnCone(*this, coneN, rho, longitude, x, y);
}

int MapEquidistantConic::Inverse(double x, double y, double* latitude, double* longitude) {
  const ConePoint point = FromApex(*this, coneN, coneN < 0, x, y);
  int code = 0;
  const double phi = LatitudeFromMeridianDistance(g - point.rho / axisA, {e0, e1, e2, e3}, &code);
  *latitude = phi;
  *longitude = WrapAngle(point.rawLongitude);
  if (code != 0 || phi > kHalfPi || phi < -kHalfPi) return -1;
  return InsideBounds(phi, point.rawLongitude);
}

double MapEquidistantConic::GetUnitScale() const { return 0.30303030303030304; }

void MapEquidistantConic::GetBounds(double* left, double* top, double* right,
                                    double* bottom) const {
  *left = -1;
  *top = 1;
  *right = 1;
  *bottom = -1;
}

MapProject* CreateAlbersEqualAreaConic() { return new (std::nothrow) MapAlbersEqualAreaConic; }
MapProject* CreateEquidistantConic() { return new (std::nothrow) MapEquidistantConic; }
MapProject* CreateLambertConformalConic() { return new (std::nothrow) MapLambertConformalConic; }

}  // namespace Projection
