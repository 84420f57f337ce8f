// American polyconic, Bonne and Nicolosi globular.
#include "projection/polyconic.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "projection/root_finding.h"
#include "projection/world_frame.h"

namespace Projection {
namespace {

constexpr double kZeroLatitude = 1e-10;  // closer to the equator is the equator
constexpr double kLatitudeTolerance = 1e-14;
constexpr int kMaxSteps = 100;

// 1 - cos(angle) without losing digits for small angles.
double OneMinusCos(double angle) {
  const double s = std::sin(angle * 0.5);
  return 2 * s * s;
}

// The latitude window test with the longitude `lambda` unwrapped; writes both outputs.
int Finish(const MapProject& p, double phi, double lambda, double* latitude, double* longitude) {
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return p.InsideBounds(phi, lambda);
}

}  // namespace

// ---- American polyconic -----------------------------------------------------------------------

namespace {
constexpr double kPolyconicTop = 2.4076332694218174;  // highest y of the world at phi0 = 0
}  // namespace

int MapAmericanPolyconic::Forward(double latitude, double longitude, double* x, double* y) {
  const double dLon = WrapAngle(longitude - centerLon);
  if (std::fabs(latitude) <= kZeroLatitude) {
    *x = axisA * dLon + offsetX;
    *y = -axisA * centerLat + offsetY;
    return 0;
  }
  const double cot = 1 / std::tan(latitude);
  const double e = dLon * std::sin(latitude);  // angle of the point on its parallel's circle
  *x = axisA * std::sin(e) * cot + offsetX;
  *y = axisA * (latitude - centerLat + cot * OneMinusCos(e)) + offsetY;
  return 0;
}

int MapAmericanPolyconic::Inverse(double x, double y, double* latitude, double* longitude) {
  const double dx = (x - offsetX) / axisA;
  const double a = (y - offsetY) / axisA + centerLat;  // height above the equator's line
  if (std::fabs(a) <= kZeroLatitude) return Finish(*this, 0, dx + centerLon, latitude, longitude);
  // The parallel phi is the circle through (0, phi) about (0, phi + cot phi): the point lies on it
  // where g = (dx^2 + (h - phi)^2) tan phi - 2 (h - phi) vanishes (h = |a|). The circles of one
  // hemisphere nest without crossing, so g has one root in (0, min(h, pi/2)).
  const double h = std::fabs(a);
  const auto g = [dx, h](double phi, double* value, double* slope) {
    const double t = std::tan(phi), d = h - phi, r = dx * dx + d * d;
    *value = r * t - 2 * d;
    *slope = -2 * d * t + r * (1 + t * t) + 2;
  };
  double phi;
  if (!SolveInBracket(g, 0, std::fmin(h, kHalfPi), h, kLatitudeTolerance, kMaxSteps, &phi)) {
    return -1;
  }
  if (a < 0) phi = -phi;
  const double t = std::tan(phi);
  const double e = std::atan2(dx * t, 1 - (a - phi) * t);
  return Finish(*this, phi, e / std::sin(phi) + centerLon, latitude, longitude);
}

double MapAmericanPolyconic::GetUnitScale() const { return kInvPi; }

void MapAmericanPolyconic::GetBounds(double* left, double* top, double* right,
                                     double* bottom) const {
  *left = -kPi;
  *top = kPolyconicTop;
  *right = kPi;
  *bottom = -kPolyconicTop;
}

std::string MapAmericanPolyconic::GetDescription() const {
  return "The American polyconic projection, introduced by Ferdinand Hassler around 1820 for "
         "the Survey of the Coast, unrolls for every parallel its own tangent cone, so all "
         "parallels are circular arcs drawn at true length and the central meridian is true to "
         "scale. Near the central meridian it is almost free of distortion, which made it the "
         "projection of the US Geological Survey's topographic quadrangles for a century; far "
         "from it the meridians curve and spread strongly.";
}

// ---- Bonne ------------------------------------------------------------------------------------

int MapBonne::Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset,
                   double a, double b, double parallel1, double) {
  CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
  FixedLatitudeWindow();
  if (!(std::fabs(parallel1) <= kHalfPi)) return -1;
  standardParallel = parallel1;
  apexDistance =
      std::fabs(parallel1) < kZeroLatitude ? 0 : std::cos(parallel1) / std::sin(parallel1);
  return 0;
}

int MapBonne::Forward(double latitude, double longitude, double* x, double* y) {
  const double dLon = WrapAngle(longitude - centerLon);
  if (std::fabs(standardParallel) < kZeroLatitude) {  // the sinusoidal limit
    *x = axisA * dLon * std::cos(latitude) + offsetX;
    *y = axisA * latitude + offsetY;
    return 0;
  }
  // Radius of the parallel (negative for a southern standard parallel, whose apex lies south).
  const double rho = apexDistance + standardParallel - latitude;
  const double e = std::fabs(rho) > kZeroLatitude ? dLon * std::cos(latitude) / rho : 0.0;
  *x = axisA * rho * std::sin(e) + offsetX;
  // cot(phi1) - rho cos E, written without subtracting two large numbers when phi1 is small.
  *y = axisA * (latitude - standardParallel + rho * OneMinusCos(e)) + offsetY;
  return 0;
}

int MapBonne::Inverse(double x, double y, double* latitude, double* longitude) {
  const double dx = (x - offsetX) / axisA, dy = (y - offsetY) / axisA;
  if (std::fabs(standardParallel) < kZeroLatitude) {
    if (!(std::fabs(dy) <= kHalfPi)) return -1;
    const double lambda = std::fabs(dy) < kHalfPi ? dx / std::cos(dy) : 0.0;
    return Finish(*this, dy, lambda + centerLon, latitude, longitude);
  }
  const double side = standardParallel > 0 ? 1.0 : -1.0;  // the apex lies on this side
  const double u = apexDistance - dy;                     // from the point to the apex along y
  const double h = std::hypot(dx, u);                     // |rho|
  // phi = cot(phi1) + phi1 - rho; with the apex far away, rho - u is taken from dx^2 / (rho + u).
  double phi = side * u > 0 ? dy + standardParallel - side * dx * dx / (h + std::fabs(u))
                            : apexDistance + standardParallel - side * h;
  if (!(std::fabs(phi) <= kHalfPi * (1 + 1e-12))) return -1;
  phi = std::clamp(phi, -kHalfPi, kHalfPi);
  const double lambda = kHalfPi - std::fabs(phi) > epsilon
                            ? side * h * std::atan2(side * dx, side * u) / std::cos(phi)
                            : 0.0;
  return Finish(*this, phi, lambda + centerLon, latitude, longitude);
}

double MapBonne::GetUnitScale() const { return kInvPi; }

void MapBonne::GetBounds(double* left, double* top, double* right, double* bottom) const {
  // Every standard parallel's map (the sinusoidal one is the widest, Werner's the tallest).
  *left = -kPi;
  *top = kPi;
  *right = kPi;
  *bottom = -kPi;
}

std::string MapBonne::GetDescription() const {
  return "The Bonne projection, named after Rigobert Bonne who used it from 1752, is an "
         "equal-area pseudoconic projection: the parallels are concentric circular arcs at true "
         "distances, each drawn at its true length, and the first parallel is the standard "
         "parallel, true to scale along its whole length. A standard parallel at the equator "
         "gives the sinusoidal projection, one at a pole the heart-shaped Werner projection. It "
         "was the projection of many atlas maps of continents and of topographic maps of France "
         "until the twentieth century.";
}

// ---- Nicolosi globular ------------------------------------------------------------------------

namespace {
constexpr double kQuarterPiSquared = 2.4674011002723395;  // (pi / 2)^2
constexpr double kNicolosiTolerance = 1e-10;
}  // namespace

int MapNicolosiGlobular::Init(double centerLatitude, double centerLongitude, double yOffset,
                              double xOffset, double a, double b, double, double) {
  CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
  FixedLatitudeWindow();
  lonMin = centerLon - kHalfPi;
  lonMax = centerLon + kHalfPi;
  return 0;
}

int MapNicolosiGlobular::Forward(double latitude, double longitude, double* x, double* y) {
  const double lam = WrapAngle(longitude - centerLon);
  if (!(std::fabs(lam) - kHalfPi <= kNicolosiTolerance)) return -1;  // the far hemisphere
  double px, py;
  if (std::fabs(lam) < kNicolosiTolerance) {
    px = 0;
    py = latitude;
  } else if (std::fabs(latitude) < kNicolosiTolerance) {
    px = lam;
    py = 0;
  } else if (std::fabs(std::fabs(lam) - kHalfPi) < kNicolosiTolerance) {
    px = lam * std::cos(latitude);
    py = kHalfPi * std::sin(latitude);
  } else if (std::fabs(std::fabs(latitude) - kHalfPi) < kNicolosiTolerance) {
    px = 0;
    py = latitude;
  } else {
    // The meeting point of the meridian's circle (through the poles and (lam, 0)) and the
    // parallel's circle (through (0, lat) and (+-pi/2 cos lat, pi/2 sin lat)).
    const double b = kHalfPi / lam - lam / kHalfPi;
    const double c = latitude / kHalfPi;
    const double sinPhi = std::sin(latitude), cosPhi = std::cos(latitude);
    const double d = (1 - c * c) / (sinPhi - c);
    const double r2 = (b / d) * (b / d);
    const double m = (b * sinPhi / d - 0.5 * b) / (1 + r2);
    const double n = (sinPhi / r2 + 0.5 * d) / (1 + 1 / r2);
    const double rx = std::sqrt(m * m + cosPhi * cosPhi / (1 + r2));
    const double ry = std::sqrt(n * n - (sinPhi * sinPhi / r2 + d * sinPhi - 1) / (1 + 1 / r2));
    px = kHalfPi * (m + (lam < 0 ? -rx : rx));
    py = kHalfPi * (n + (latitude < 0 ? ry : -ry));
  }
  *x = axisA * px + offsetX;
  *y = axisA * py + offsetY;
  return 0;
}

int MapNicolosiGlobular::Inverse(double x, double y, double* latitude, double* longitude) {
  const double dx = (x - offsetX) / axisA, dy = (y - offsetY) / axisA;
  const double beyondRim = dx * dx + dy * dy - kQuarterPiSquared;  // <= 0 on the hemisphere
  if (!(beyondRim <= kQuarterPiSquared * 1e-12)) return -1;
  const double inside = std::fmin(beyondRim, 0.0);
  // The meridian is the circle through both poles and (dx, dy); it meets the equator at lam.
  const double w = std::sqrt(inside * inside + 4 * dx * dx * kQuarterPiSquared);
  const double lam = w - inside > 0 ? 2 * dx * kQuarterPiSquared / (w - inside) : 0.0;
  // The parallel through (0, phi) meets the rim at (pi/2 cos phi, pi/2 sin phi); its centre is
  // (0, (phi^2 - (pi/2)^2) / (2 phi - pi sin phi)). The point lies on it where h vanishes: h is
  // positive at phi = 0 and not positive at phi = |dy|, for the parallel rises towards the rim.
  const double v = std::fabs(dy);
  double phi = 0;
  if (v > 0) {
    const double rr = dx * dx + v * v;
    const auto h = [rr, v](double p, double* value, double* slope) {
      const double q = 2 * p - kPi * std::sin(p), r = p * p - kQuarterPiSquared, s = v - p;
      *value = (rr - p * p) * q - 2 * r * s;
      *slope = -2 * p * q + (rr - p * p) * (2 - kPi * std::cos(p)) - 4 * p * s + 2 * r;
    };
    if (v >= kHalfPi) {
      phi = kHalfPi;
    } else if (!SolveInBracket(h, 0, v, v, kLatitudeTolerance, kMaxSteps, &phi)) {
      return -1;
    }
    if (dy < 0) phi = -phi;
  }
  return Finish(*this, phi, lam + centerLon, latitude, longitude);
}

double MapNicolosiGlobular::GetUnitScale() const { return 0.6366197723675814; }  // 2 / pi

void MapNicolosiGlobular::GetBounds(double* left, double* top, double* right,
                                    double* bottom) const {
  *left = -kHalfPi;
  *top = kHalfPi;
  *right = kHalfPi;
  *bottom = -kHalfPi;
}

std::string MapNicolosiGlobular::GetDescription() const {
  return "The Nicolosi globular projection, described by al-Biruni around 1000 and again by "
         "Giovanni Battista Nicolosi in 1660, shows one hemisphere in a circle. The central "
         "meridian and the equator are straight and divided evenly, the outer meridian is the "
         "circle; the other meridians and the parallels are circular arcs dividing both evenly. "
         "Neither conformal nor equal-area, it was the usual projection of the two hemispheres "
         "in atlases of the nineteenth century.";
}

MapProject* CreateAmericanPolyconic() { return new (std::nothrow) MapAmericanPolyconic; }
MapProject* CreateBonne() { return new (std::nothrow) MapBonne; }
MapProject* CreateNicolosiGlobular() { return new (std::nothrow) MapNicolosiGlobular; }

}  // namespace Projection
