// Hammer, Wagner VII, Aitoff, Winkel Tripel and Van der Grinten.
#include "projection/world_oval.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "projection/world_frame.h"

namespace Projection {

// ---- Hammer -----------------------------------------------------------------------------------

namespace {
// sqrt(2) rounded to nine decimals. The inverse uses exact 4, 2 and 0.25, so a round trip is off
// by about 1e-10.
constexpr double kHammerQ = 1.414213562;
}  // namespace

int MapHammer::Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset,
                    double a, double b, double, double) {
  CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
  FixedLatitudeWindow();
  axisASquared = a * a;
  return 0;
}

int MapHammer::Forward(double latitude, double longitude, double* x, double* y) {
  const double h = WrapAngle(longitude - centerLon) * 0.5;
  double sinPhi, cosPhi, sinH, cosH;
  SinCos(latitude, &sinPhi, &cosPhi);
  SinCos(h, &sinH, &cosH);
  const double k = axisA * kHammerQ / std::sqrt(1 + cosPhi * cosH);
  *x = 2 * k * cosPhi * sinH + offsetX;
  *y = k * sinPhi + offsetY;
  return 0;
}

int MapHammer::Inverse(double x, double y, double* latitude, double* longitude) {
  const double dx = x - offsetX, dy = y - offsetY;
  const double t = 4 * axisASquared - dx * dx * 0.25 - dy * dy;
  if (t < 0) return -1;
  const double z = std::sqrt(t) / 2;
  const double s = z * dy / axisASquared;
  if (s <= -1 || s >= 1) return -1;
  const double phi = std::asin(s);
  *latitude = phi;
  const double lambda =
      2 * std::atan2(z * dx, 2 * axisASquared - dx * dx * 0.25 - dy * dy) + centerLon;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapHammer::GetUnitScale() const { return kFourElevenths; }

void MapHammer::GetBounds(double* left, double* top, double* right, double* bottom) const {
  ElevenQuarterFrame(left, top, right, bottom);
}

std::string MapHammer::GetDescription() const {
  return "The Hammer projection, presented by Ernst Hammer in 1892, is an equal-area world map "
         "with an elliptical outline. It takes the equatorial aspect of the Lambert azimuthal "
         "equal-area projection of one hemisphere, halves the longitudes and doubles the "
         "resulting x. Its curved parallels shear shapes less at the edges than the Mollweide "
         "does.";
}

// ---- Wagner VII -------------------------------------------------------------------------------

namespace {
// Stored products of the horizontal factor Cx, the vertical factor Cy = 1.24104 and the auxiliary
// factor n = 0.90631 (sin 65 degrees rounded to five digits).
constexpr double kWagnerVIICx = 2.66723;
constexpr double kWagnerVIINSquared = 0.8213978161;             // n^2
constexpr double kWagnerVIICyN = 1.1247669623999998;            // Cy n
constexpr double kWagnerVIIInvCySquared = 0.6492746413823457;   // (1 / Cy)^2
constexpr double kWagnerVIIInvCxSquared = 0.14056560475902954;  // (1 / Cx)^2
constexpr double kWagnerVIIInvCyN = 0.8890730555120723;         // 1 / (Cy n)
constexpr double kOneThird = 0.3333333333333333;
// Beyond these map distances from the centre there is no world, whatever the radius.
constexpr double kWagnerVIIMaxY = 1.5;
constexpr double kWagnerVIIMaxX = 2.75;
}  // namespace

int MapWagnerVII::Forward(double latitude, double longitude, double* x, double* y) {
  const double s = std::sin(latitude);
  const double k = std::sqrt(1 - kWagnerVIINSquared * s * s);  // cosine of the auxiliary latitude
  const double h = WrapAngle(longitude - centerLon) * kOneThird;
  double sinH, cosH;
  SinCos(h, &sinH, &cosH);
  const double d = std::sqrt(2 / (1 + k * cosH));
  *x = sinH * (axisA * kWagnerVIICx * k * d) + offsetX;
  *y = axisA * s * kWagnerVIICyN * d + offsetY;
  return 0;
}

int MapWagnerVII::Inverse(double x, double y, double* latitude, double* longitude) {
  const double dx = x - offsetX, dy = y - offsetY;
  if (std::fabs(dy) > kWagnerVIIMaxY || std::fabs(dx) > kWagnerVIIMaxX) return -1;
  const double r2 = kWagnerVIIInvCySquared * dy * dy + kWagnerVIIInvCxSquared * dx * dx;
  if (r2 <= 0) return -1;
  const double r = std::sqrt(r2);
  const double v = (0.5 / axisA) * r;
  if (v <= -1 || v >= 1) return -1;
  const double c = 2 * std::asin(v);  // angular distance from the centre on the auxiliary sphere
  const double u = std::sin(c) * dy * kWagnerVIIInvCyN / r;
  if (u <= -1 || u >= 1) return -1;
  const double phi = std::asin(u);
  *latitude = phi;
  const double lambda = 3 * std::atan2(std::tan(c) * dx, kWagnerVIICx * r) + centerLon;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapWagnerVII::GetUnitScale() const { return kInvPi; }

void MapWagnerVII::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapWagnerVII::GetDescription() const {
  return "Wagner VII, or the Hammer-Wagner projection, is an equal-area world map that "
         "Karlheinz Wagner built in 1941 from the Hammer projection by compressing the "
         "latitudes, which gives the poles a curved outline.";
}

// ---- Van der Grinten --------------------------------------------------------------------------

namespace {
constexpr double kOneOver27 = 0.037037037037037035;
constexpr double kThirdPi = 1.0471975511965976;  // pi / 3
}  // namespace

int MapVanDerGrinten::Forward(double latitude, double longitude, double* x, double* y) {
  const double dLon = WrapAngle(longitude - centerLon);
  if (std::fabs(latitude) <= epsilon) {
    *x = axisA * dLon + offsetX;
    *y = offsetY;
    return 0;
  }
  const double theta = std::asin(std::fmin(1.0, 2 * std::fabs(latitude) / kPi));
  const double piA = kPi * axisA;
  if (std::fabs(dLon) <= epsilon || std::fabs(std::fabs(latitude) - kHalfPi) <= epsilon) {
    const double along = piA * std::tan(theta / 2);
    *x = offsetX;
    *y = latitude >= 0 ? offsetY + along : offsetY - along;
    return 0;
  }
  // The classical closed form loses every digit near the equator close to the centre meridian,
  // where it subtracts nearly equal large terms (and can take the root of a negative number). The
  // same quantities are rewritten as sums of non-negative terms, choosing for x and y whichever of
  // the two equivalent forms does not cancel.
  const double halfA = std::fabs(kPi / dLon - dLon / kPi) / 2;
  double sinTheta, cosTheta;
  SinCos(theta, &sinTheta, &cosTheta);
  const double g = cosTheta / (sinTheta + cosTheta - 1);
  const double pMinusG = 2 * g * (1 - sinTheta) / sinTheta;
  const double p = g + pMinusG;
  const double aa = halfA * halfA;
  const double rootE = std::sqrt(aa * ((p - 1) * (p - 1) + 2 * pMinusG) + pMinusG * (p + g));
  const double denominator = p * p + aa;
  double dx = g - p * p >= 0 ? piA * (halfA * (g - p * p) + p * rootE) / denominator
                             : piA * pMinusG * (p + g) / (p * rootE + halfA * (p * p - g));
  if (dLon < 0) dx = -dx;
  *x = offsetX + dx;
  const double q = aa + g;
  const double dy = g >= 0.5 ? piA * (aa * (2 * g - 1) + g * g) / (p * q + halfA * rootE)
                             : piA * (p * q - halfA * rootE) / denominator;
  *y = latitude >= 0 ? offsetY + dy : offsetY - dy;
  return 0;
}

int MapVanDerGrinten::Inverse(double x, double y, double* latitude, double* longitude) {
  const double xs = (x - offsetX) * kInvPi / axisA;
  const double ys = (y - offsetY) * kInvPi / axisA;
  const double s = xs * xs + ys * ys;
  // The latitude is a root of a cubic, found by the trigonometric method.
  const double c1 = -std::fabs(ys) * (1 + s);
  const double c2 = c1 - 2 * ys * ys + xs * xs;
  const double c3 = 1 - 2 * c1 + 2 * ys * ys + s * s;
  const double a1 = (c1 - c2 * c2 / (3 * c3)) / c3;
  const double m1 = 2 * std::sqrt(a1 * -0.3333333333333333);
  const double d = ys * ys / c3 + (2 * c2 * c2 * c2 / c3 - 9 * c1 * c2) / (c3 * c3) * kOneOver27;
  double w = 3 * d / (a1 * m1);
  if (std::fabs(w) > 1) w = w >= 0 ? 1 : -1;
  // On the equator the cubic has a double root at 0, where w = -1 and acos turns the last bit of
  // rounding in w into an error of 1e-8; the root itself is known.
  const double root = ys == 0 ? 0.0 : -m1 * std::cos(std::acos(w) / 3 + kThirdPi) - c2 / (3 * c3);
  const double phi = y - offsetY >= 0 ? kPi * root : -kPi * root;
  *latitude = phi;
  if (std::fabs(xs) < epsilon) {
    *longitude = centerLon;
    return 0;
  }
  const double lambda =
      kHalfPi * (s - 1 + std::sqrt(1 + 2 * (xs * xs - ys * ys) + s * s)) / xs + centerLon;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapVanDerGrinten::GetUnitScale() const { return kInvPi; }

void MapVanDerGrinten::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapVanDerGrinten::GetDescription() const {
  return "The Van der Grinten projection, patented by Alphons van der Grinten in 1904, shows "
         "the whole world inside a circle. It is neither conformal nor equal-area: its circular "
         "arcs exaggerate the polar regions, though less than Mercator. The National Geographic "
         "Society used it for world maps from 1922 to 1988.";
}

// ---- Aitoff and Winkel Tripel -----------------------------------------------------------------

namespace {

constexpr double kWinkelCosParallel = 0.6366197723675814;  // 2 / pi, cosine of 50 deg 28 min
constexpr double kWinkelHalfWidth = 2.5707963267948966;    // (pi + 2) / 2

// Aitoff on the unit sphere, and the mean with the equirectangular map weighted by `blend`.
struct AitoffPoint {
  double x, y;
  // Partial derivatives by latitude and longitude, when asked for.
  double xPhi, xLam, yPhi, yLam;
};

// x and y of the unit-sphere map at (phi, dLon); with `derivatives` also the Jacobian.
AitoffPoint AitoffAt(double sinPhi, double cosPhi, double phi, double dLon, double blend,
                     bool derivatives) {
  double s, c;
  SinCos(dLon * 0.5, &s, &c);
  const double cosD = cosPhi * c;  // cosine of the angular distance from the centre
  // Its sine from the sum of squares: no digits lost near the centre, where acos would lose half.
  const double sinD2 = sinPhi * sinPhi + cosPhi * cosPhi * s * s;
  const double sinD = std::sqrt(sinD2);
  // The distance lies in [0, pi/2] (cosD >= 0): atan of the ratio is enough, and cheaper.
  const double k = sinD > 0 ? std::atan(sinD / cosD) / sinD : 1.0;  // distance over its sine
  const double keep = 1 - blend;
  AitoffPoint p;
  p.x = keep * (2 * k * cosPhi * s) + blend * (dLon * kWinkelCosParallel);
  p.y = keep * (k * sinPhi) + blend * phi;
  if (derivatives) {
    // dk/dcosD = (cosD k - 1) / sinD^2, which tends to -1/3 - 2 sinD^2 / 15 at the centre.
    const double g = sinD2 > 1e-6 ? (cosD * k - 1) / sinD2 : -1.0 / 3 - 2 * sinD2 / 15;
    const double kPhi = g * (-sinPhi * c), kLam = g * (-cosPhi * s * 0.5);
    p.xPhi = keep * (2 * s * (kPhi * cosPhi - k * sinPhi));
    p.xLam = keep * (2 * cosPhi * (kLam * s + k * c * 0.5)) + blend * kWinkelCosParallel;
    p.yPhi = keep * (kPhi * sinPhi + k * cosPhi) + blend;
    p.yLam = keep * (kLam * sinPhi);
  }
  return p;
}

constexpr int kAitoffMaxSteps = 60;
constexpr int kAitoffMaxHalvings = 30;
constexpr double kAitoffStepTolerance = 1e-15;
constexpr double kAitoffAcceptance = 1e-10;  // map units on the unit sphere

double Residual(const AitoffPoint& p, double tx, double ty) {
  return std::fmax(std::fabs(p.x - tx), std::fabs(p.y - ty));
}

}  // namespace

void MapAitoffFamily::PrepareRow(double latitude, Row* row) const {
  row->status = 0;
  SinCos(latitude, &row->value[0], &row->value[1]);
  row->value[2] = latitude;
}

int MapAitoffFamily::ForwardInRow(const Row& row, double longitude, double* x, double* y) const {
  const AitoffPoint p = AitoffAt(row.value[0], row.value[1], row.value[2],
                                 WrapAngle(longitude - centerLon), blend_, false);
  *x = axisA * p.x + offsetX;
  *y = axisA * p.y + offsetY;
  return 0;
}

int MapAitoffFamily::Inverse(double x, double y, double* latitude, double* longitude) {
  const double tx = (x - offsetX) / axisA, ty = (y - offsetY) / axisA;
  if (!(std::fabs(ty) <= kHalfPi * (1 + 1e-12) && std::fabs(tx) <= kPi * (1 + 1e-12))) return -1;
  // Newton's method on (lat, dLon), each step shortened until it reduces the residual and kept on
  // the globe; near the centre the map is close to the equirectangular one, the start.
  double phi = std::clamp(ty, -kHalfPi, kHalfPi);
  double lam = std::clamp(tx / (1 - blend_ + blend_ * kWinkelCosParallel), -kPi, kPi);
  AitoffPoint p = AitoffAt(std::sin(phi), std::cos(phi), phi, lam, blend_, true);
  double residual = Residual(p, tx, ty);
  for (int step = 0; step < kAitoffMaxSteps && residual > 0; ++step) {
    const double det = p.xPhi * p.yLam - p.xLam * p.yPhi;
    if (!(std::fabs(det) > 0)) break;
    const double fx = p.x - tx, fy = p.y - ty;
    const double dPhi = (fx * p.yLam - fy * p.xLam) / det;
    const double dLam = (p.xPhi * fy - p.yPhi * fx) / det;
    double t = 1;
    bool improved = false;
    for (int half = 0; half < kAitoffMaxHalvings; ++half, t *= 0.5) {
      const double phi2 = std::clamp(phi - t * dPhi, -kHalfPi, kHalfPi);
      const double lam2 = std::clamp(lam - t * dLam, -kPi, kPi);
      const AitoffPoint p2 = AitoffAt(std::sin(phi2), std::cos(phi2), phi2, lam2, blend_, true);
      const double r2 = Residual(p2, tx, ty);
      if (r2 < residual) {
        const double moved = std::fmax(std::fabs(phi2 - phi), std::fabs(lam2 - lam));
        phi = phi2, lam = lam2, p = p2, residual = r2;
        improved = moved > kAitoffStepTolerance;
        break;
      }
    }
    if (!improved) break;
  }
  if (!(residual <= kAitoffAcceptance)) return -1;
  // At the poles of the Aitoff map every longitude gives the same point.
  if (blend_ == 0 && kHalfPi - std::fabs(phi) < epsilon) lam = 0;
  const double lambda = lam + centerLon;
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapAitoff::GetUnitScale() const { return kInvPi; }

void MapAitoff::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapAitoff::GetDescription() const {
  return "The Aitoff projection, presented by David Aitoff in 1889, takes the equatorial "
         "azimuthal equidistant map of one hemisphere, halves its longitudes and doubles its "
         "width, so the whole world fits in an ellipse twice as wide as high. It is neither "
         "conformal nor equal-area; its curved parallels shear shapes less than a "
         "pseudocylindrical map, and it inspired the Hammer projection.";
}

double MapWinkelTripel::GetUnitScale() const { return 1 / kWinkelHalfWidth; }

void MapWinkelTripel::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kWinkelHalfWidth;
  *top = kHalfPi;
  *right = kWinkelHalfWidth;
  *bottom = -kHalfPi;
}

std::string MapWinkelTripel::GetDescription() const {
  return "The Winkel Tripel projection, presented by Oswald Winkel in 1921, is the mean of the "
         "Aitoff projection and the equirectangular projection with standard parallels at "
         "acos(2/pi), about 50 deg 28 min. Its name means a triple compromise: it keeps the "
         "errors of area, direction and distance all small. The poles are lines, the meridians "
         "gentle curves. The National Geographic Society has used it for its world maps since "
         "1998, as have many atlases and textbooks.";
}

MapProject* CreateHammer() { return new (std::nothrow) MapHammer; }
MapProject* CreateWagnerVII() { return new (std::nothrow) MapWagnerVII; }
MapProject* CreateVanDerGrinten() { return new (std::nothrow) MapVanDerGrinten; }
MapProject* CreateAitoff() { return new (std::nothrow) MapAitoff; }
MapProject* CreateWinkelTripel() { return new (std::nothrow) MapWinkelTripel; }

}  // namespace Projection
