// Robinson, Equal Earth, Natural Earth and Natural Earth II.
//
// Forward is PrepareRow followed by ForwardInRow (PlaceInRow of pseudocylindrical.h), so the row
// fast path gives Forward's results bit for bit.
#include "projection/polynomial.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "projection/root_finding.h"

namespace Projection {
namespace {

// |y| of a map point against the map's top `maxY`: within rounding of the top it is the top.
bool WithinHeight(double y, double maxY, double* clamped) {
  const double a = std::fabs(y);
  if (!(a <= maxY * (1 + 1e-12))) return false;
  *clamped = std::copysign(std::fmin(a, maxY), y);
  return true;
}

constexpr double kLatitudeTolerance = 1e-13;
constexpr int kMaxSteps = 60;  // bisection alone would need about 45

}  // namespace

// ---- Robinson ---------------------------------------------------------------------------------

namespace {

// Cubic through one 5-degree interval: c0 + t (c1 + t (c2 + t c3)), t in degrees from its start.
// Stored in single precision, as PROJ stores them, so that both give the same map.
struct RobinsonCubic {
  float c0, c1, c2, c3;
  double At(double t) const { return c0 + t * (c1 + t * (c2 + t * c3)); }
  double Slope(double t) const { return c1 + 2 * t * c2 + t * t * 3. * c3; }
};

// Length of the parallels (X) and their distance from the equator (Y) from 0 to 90 degrees.
constexpr RobinsonCubic kRobinsonX[] = {
    {1.0f, 2.2199e-17f, -7.15515e-05f, 3.1103e-06f},
    {0.9986f, -0.000482243f, -2.4897e-05f, -1.3309e-06f},
    {0.9954f, -0.00083103f, -4.48605e-05f, -9.86701e-07f},
    {0.99f, -0.00135364f, -5.9661e-05f, 3.6777e-06f},
    {0.9822f, -0.00167442f, -4.49547e-06f, -5.72411e-06f},
    {0.973f, -0.00214868f, -9.03571e-05f, 1.8736e-08f},
    {0.96f, -0.00305085f, -9.00761e-05f, 1.64917e-06f},
    {0.9427f, -0.00382792f, -6.53386e-05f, -2.6154e-06f},
    {0.9216f, -0.00467746f, -0.00010457f, 4.81243e-06f},
    {0.8962f, -0.00536223f, -3.23831e-05f, -5.43432e-06f},
    {0.8679f, -0.00609363f, -0.000113898f, 3.32484e-06f},
    {0.835f, -0.00698325f, -6.40253e-05f, 9.34959e-07f},
    {0.7986f, -0.00755338f, -5.00009e-05f, 9.35324e-07f},
    {0.7597f, -0.00798324f, -3.5971e-05f, -2.27626e-06f},
    {0.7186f, -0.00851367f, -7.01149e-05f, -8.6303e-06f},
    {0.6732f, -0.00986209f, -0.000199569f, 1.91974e-05f},
    {0.6213f, -0.010418f, 8.83923e-05f, 6.24051e-06f},
    {0.5722f, -0.00906601f, 0.000182f, 6.24051e-06f},
    {0.5322f, -0.00677797f, 0.000275608f, 6.24051e-06f},
};
constexpr RobinsonCubic kRobinsonY[] = {
    {-5.20417e-18f, 0.0124f, 1.21431e-18f, -8.45284e-11f},
    {0.062f, 0.0124f, -1.26793e-09f, 4.22642e-10f},
    {0.124f, 0.0124f, 5.07171e-09f, -1.60604e-09f},
    {0.186f, 0.0123999f, -1.90189e-08f, 6.00152e-09f},
    {0.248f, 0.0124002f, 7.10039e-08f, -2.24e-08f},
    {0.31f, 0.0123992f, -2.64997e-07f, 8.35986e-08f},
    {0.372f, 0.0124029f, 9.88983e-07f, -3.11994e-07f},
    {0.434f, 0.0123893f, -3.69093e-06f, -4.35621e-07f},
    {0.4958f, 0.0123198f, -1.02252e-05f, -3.45523e-07f},
    {0.5571f, 0.0121916f, -1.54081e-05f, -5.82288e-07f},
    {0.6176f, 0.0119938f, -2.41424e-05f, -5.25327e-07f},
    {0.6769f, 0.011713f, -3.20223e-05f, -5.16405e-07f},
    {0.7346f, 0.0113541f, -3.97684e-05f, -6.09052e-07f},
    {0.7903f, 0.0109107f, -4.89042e-05f, -1.04739e-06f},
    {0.8435f, 0.0103431f, -6.4615e-05f, -1.40374e-09f},
    {0.8936f, 0.00969686f, -6.4636e-05f, -8.547e-06f},
    {0.9394f, 0.00840947f, -0.000192841f, -4.2106e-06f},
    {0.9761f, 0.00616527f, -0.000256f, -4.2106e-06f},
    {1.0f, 0.00328947f, -0.000319159f, -4.2106e-06f},
};
constexpr int kRobinsonLastNode = 18;                                // 90 degrees
constexpr double kRobinsonFxc = 0.8487;                              // x of the equator at 1 radian
constexpr double kRobinsonFyc = 1.3523;                              // y of the pole
constexpr double kRobinsonNodesPerRadian = 11.45915590261646417544;  // 36 / pi
constexpr double kRobinsonNodeStep = 0.08726646259971647884;         // 5 degrees in radians
constexpr double kRobinsonIntervalDegrees = 5;

// The t of interval i where Y reaches `target`, searched in [-1, 6] degrees (each cubic rises
// there), starting from the linear interpolation.
bool RobinsonIntervalSolve(int i, double target, double* t) {
  const RobinsonCubic& y = kRobinsonY[i];
  const double start = kRobinsonIntervalDegrees * (target - y.c0) / (kRobinsonY[i + 1].c0 - y.c0);
  return SolveInBracket(
      [&y, target](double u, double* v, double* s) { *v = y.At(u) - target, *s = y.Slope(u); },
      -1.0, kRobinsonIntervalDegrees + 1, start, kLatitudeTolerance, kMaxSteps, t);
}

}  // namespace

void MapRobinson::PrepareRow(double latitude, Row* row) const {
  const double a = std::fabs(latitude);
  if (std::isnan(a)) {
    row->status = -1;
    return;
  }
  const int i = a * kRobinsonNodesPerRadian >= kRobinsonLastNode
                    ? kRobinsonLastNode
                    : static_cast<int>(a * kRobinsonNodesPerRadian);
  const double t = kRadToDeg * (a - kRobinsonNodeStep * i);
  const double y = kRobinsonY[i].At(t) * kRobinsonFyc;
  FillRow(*this, kRobinsonX[i].At(t) * kRobinsonFxc, latitude < 0 ? -y : y, row);
}

int MapRobinson::Inverse(double x, double y, double* latitude, double* longitude) {
  const double dy = (y - offsetY) / axisA;
  double target;
  if (!WithinHeight(dy / kRobinsonFyc, 1.0, &target)) return -1;
  target = std::fabs(target);
  int i = kRobinsonLastNode;
  double t = 0;
  if (target < 1) {
    // Y grows with the node: find the interval whose start lies below the target.
    i = std::min(static_cast<int>(target * kRobinsonLastNode), kRobinsonLastNode - 1);
    while (i > 0 && kRobinsonY[i].c0 > target) --i;
    while (i < kRobinsonLastNode - 1 && kRobinsonY[i + 1].c0 <= target) ++i;
    if (!RobinsonIntervalSolve(i, target, &t)) return -1;
    // Neighbouring cubics overlap by up to 1e-8 at the nodes; a forward point comes from the
    // interval where its t lies in [0, 5].
    double other;
    if (t < 0 && i > 0 && RobinsonIntervalSolve(i - 1, target, &other) &&
        other <= kRobinsonIntervalDegrees) {
      --i;
      t = other;
    } else if (t > kRobinsonIntervalDegrees && i < kRobinsonLastNode - 1 &&
               RobinsonIntervalSolve(i + 1, target, &other) && other >= 0) {
      ++i;
      t = other;
    }
  }
  const double a = kRobinsonNodeStep * i + t * kDegToRad;
  const double phi = dy < 0 ? -a : a;
  const double lambda = (x - offsetX) / (axisA * kRobinsonFxc * kRobinsonX[i].At(t)) + centerLon;
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapRobinson::GetUnitScale() const { return 1 / (kPi * kRobinsonFxc); }

void MapRobinson::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kPi * kRobinsonFxc;
  *top = kRobinsonFyc;
  *right = kPi * kRobinsonFxc;
  *bottom = -kRobinsonFyc;
}

std::string MapRobinson::GetDescription() const {
  return "The Robinson projection was designed by Arthur H. Robinson in 1963 for Rand McNally, "
         "not from formulas but from a table of parallel lengths and spacings chosen at every "
         "five degrees until the world looked right. It is neither conformal nor equal-area; "
         "the poles are lines about half as long as the equator. The National Geographic "
         "Society used it for its world maps from 1988 to 1998, and it remains common in "
         "school atlases and wall maps.";
}

// ---- Equal Earth ------------------------------------------------------------------------------

namespace {
constexpr double kEqualEarthA1 = 1.340264;
constexpr double kEqualEarthA2 = -0.081106;
constexpr double kEqualEarthA3 = 0.000893;
constexpr double kEqualEarthA4 = 0.003796;
constexpr double kEqualEarthM = 0.8660254037844386;          // sqrt(3) / 2
constexpr double kEqualEarthMaxY = 1.3173627591574133;       // y of the pole
constexpr double kEqualEarthMaxPsi = 1.0471975511965976;     // psi of the pole, pi / 3
constexpr double kEqualEarthHalfWidth = 2.7066299836960748;  // pi / (M A1)

// y and its derivative d y / d psi at the parametric latitude psi.
double EqualEarthY(double psi) {
  const double p2 = psi * psi, p6 = p2 * p2 * p2;
  return psi * (kEqualEarthA1 + kEqualEarthA2 * p2 + p6 * (kEqualEarthA3 + kEqualEarthA4 * p2));
}
double EqualEarthSlope(double psi) {
  const double p2 = psi * psi, p6 = p2 * p2 * p2;
  return kEqualEarthA1 + 3 * kEqualEarthA2 * p2 + p6 * (7 * kEqualEarthA3 + 9 * kEqualEarthA4 * p2);
}
}  // namespace

void MapEqualEarth::PrepareRow(double latitude, Row* row) const {
  const double psi = std::asin(kEqualEarthM * std::sin(latitude));
  FillRow(*this, std::cos(psi) / (kEqualEarthM * EqualEarthSlope(psi)), EqualEarthY(psi), row);
}

int MapEqualEarth::Inverse(double x, double y, double* latitude, double* longitude) {
  double target;
  if (!WithinHeight((y - offsetY) / axisA, kEqualEarthMaxY, &target)) return -1;
  double psi;
  if (!SolveInBracket(
          [target](double u, double* v, double* s) {
            *v = EqualEarthY(u) - target, *s = EqualEarthSlope(u);
          },
          -kEqualEarthMaxPsi, kEqualEarthMaxPsi, target / kEqualEarthA1, kLatitudeTolerance,
          kMaxSteps, &psi)) {
    return -1;
  }
  const double lambda =
      kEqualEarthM * (x - offsetX) / axisA * EqualEarthSlope(psi) / std::cos(psi) + centerLon;
  const double phi = std::asin(std::clamp(std::sin(psi) / kEqualEarthM, -1.0, 1.0));
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapEqualEarth::GetUnitScale() const { return 1 / kEqualEarthHalfWidth; }

void MapEqualEarth::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kEqualEarthHalfWidth;
  *top = kEqualEarthMaxY;
  *right = kEqualEarthHalfWidth;
  *bottom = -kEqualEarthMaxY;
}

std::string MapEqualEarth::GetDescription() const {
  return "The Equal Earth projection was published in 2018 by Bojan Savric, Tom Patterson and "
         "Bernhard Jenny as an equal-area world map that looks like the Robinson projection. "
         "Parallels are straight lines, meridians polynomial curves meeting flat pole lines in "
         "rounded corners. Countries keep their true relative sizes, which is why NASA and many "
         "climate and population maps adopted it.";
}

// ---- Natural Earth ----------------------------------------------------------------------------

namespace {
constexpr double kNaturalEarthA0 = 0.8707;
constexpr double kNaturalEarthA1 = -0.131979;
constexpr double kNaturalEarthA2 = -0.013791;
constexpr double kNaturalEarthA3 = 0.003971;
constexpr double kNaturalEarthA4 = -0.001529;
constexpr double kNaturalEarthB0 = 1.007226;
constexpr double kNaturalEarthB1 = 0.015085;
constexpr double kNaturalEarthB2 = -0.044475;
constexpr double kNaturalEarthB3 = 0.028874;
constexpr double kNaturalEarthB4 = -0.005916;
constexpr double kNaturalEarthMaxY = 1.422390506730596;  // y of the pole

double NaturalEarthX(double phi) {
  const double p2 = phi * phi, p4 = p2 * p2;
  return kNaturalEarthA0 +
         p2 * (kNaturalEarthA1 +
               p2 * (kNaturalEarthA2 + p4 * p2 * (kNaturalEarthA3 + p2 * kNaturalEarthA4)));
}
double NaturalEarthY(double phi) {
  const double p2 = phi * phi, p4 = p2 * p2;
  return phi * (kNaturalEarthB0 +
                p2 * (kNaturalEarthB1 +
                      p4 * (kNaturalEarthB2 + kNaturalEarthB3 * p2 + kNaturalEarthB4 * p4)));
}
double NaturalEarthSlope(double phi) {
  const double p2 = phi * phi, p4 = p2 * p2;
  return kNaturalEarthB0 +
         p2 * (3 * kNaturalEarthB1 +
               p4 * (7 * kNaturalEarthB2 + 9 * kNaturalEarthB3 * p2 + 11 * kNaturalEarthB4 * p4));
}
}  // namespace

void MapNaturalEarth::PrepareRow(double latitude, Row* row) const {
  FillRow(*this, NaturalEarthX(latitude), NaturalEarthY(latitude), row);
}

int MapNaturalEarth::Inverse(double x, double y, double* latitude, double* longitude) {
  double target;
  if (!WithinHeight((y - offsetY) / axisA, kNaturalEarthMaxY, &target)) return -1;
  double phi;
  if (!SolveInBracket(
          [target](double u, double* v, double* s) {
            *v = NaturalEarthY(u) - target, *s = NaturalEarthSlope(u);
          },
          -kHalfPi, kHalfPi, target / kNaturalEarthB0, kLatitudeTolerance, kMaxSteps, &phi)) {
    return -1;
  }
  const double lambda = (x - offsetX) / (axisA * NaturalEarthX(phi)) + centerLon;
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapNaturalEarth::GetUnitScale() const { return 1 / (kPi * kNaturalEarthA0); }

void MapNaturalEarth::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kPi * kNaturalEarthA0;
  *top = kNaturalEarthMaxY;
  *right = kPi * kNaturalEarthA0;
  *bottom = -kNaturalEarthMaxY;
}

std::string MapNaturalEarth::GetDescription() const {
  return "The Natural Earth projection was designed by Tom Patterson in 2007 for small-scale "
         "world maps of physical geography; Bojan Savric and Bernhard Jenny later gave it the "
         "polynomial form used here. A compromise between Robinson and Kavrayskiy VII, it has "
         "flat poles meeting the meridians in rounded corners.";
}

// ---- Natural Earth II -------------------------------------------------------------------------

namespace {
constexpr double kNaturalEarthIIA0 = 0.84719;
constexpr double kNaturalEarthIIA1 = -0.13063;
constexpr double kNaturalEarthIIA2 = -0.04515;
constexpr double kNaturalEarthIIA3 = 0.05494;
constexpr double kNaturalEarthIIA4 = -0.02326;
constexpr double kNaturalEarthIIA5 = 0.00331;
constexpr double kNaturalEarthIIB0 = 1.01183;
constexpr double kNaturalEarthIIB1 = -0.02625;
constexpr double kNaturalEarthIIB2 = 0.01926;
constexpr double kNaturalEarthIIB3 = -0.00396;
constexpr double kNaturalEarthIIMaxY = 1.4242291687559827;  // y of the pole

double NaturalEarthIIX(double phi) {
  const double p2 = phi * phi, p4 = p2 * p2, p6 = p2 * p4;
  return kNaturalEarthIIA0 + kNaturalEarthIIA1 * p2 +
         p6 * p6 *
             (kNaturalEarthIIA2 + kNaturalEarthIIA3 * p2 + kNaturalEarthIIA4 * p4 +
              kNaturalEarthIIA5 * p6);
}
double NaturalEarthIIY(double phi) {
  const double p2 = phi * phi, p4 = p2 * p2;
  return phi * (kNaturalEarthIIB0 +
                p4 * p4 * (kNaturalEarthIIB1 + kNaturalEarthIIB2 * p2 + kNaturalEarthIIB3 * p4));
}
double NaturalEarthIISlope(double phi) {
  const double p2 = phi * phi, p4 = p2 * p2;
  return kNaturalEarthIIB0 +
         p4 * p4 *
             (9 * kNaturalEarthIIB1 + 11 * kNaturalEarthIIB2 * p2 + 13 * kNaturalEarthIIB3 * p4);
}
}  // namespace

void MapNaturalEarthII::PrepareRow(double latitude, Row* row) const {
  FillRow(*this, NaturalEarthIIX(latitude), NaturalEarthIIY(latitude), row);
}

int MapNaturalEarthII::Inverse(double x, double y, double* latitude, double* longitude) {
  double target;
  if (!WithinHeight((y - offsetY) / axisA, kNaturalEarthIIMaxY, &target)) return -1;
  // The slope nearly vanishes at the poles: the bracket keeps the steps on the map.
  double phi;
  if (!SolveInBracket(
          [target](double u, double* v, double* s) {
            *v = NaturalEarthIIY(u) - target, *s = NaturalEarthIISlope(u);
          },
          -kHalfPi, kHalfPi, target / kNaturalEarthIIB0, kLatitudeTolerance, kMaxSteps, &phi)) {
    return -1;
  }
  const double lambda = (x - offsetX) / (axisA * NaturalEarthIIX(phi)) + centerLon;
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapNaturalEarthII::GetUnitScale() const { return 1 / (kPi * kNaturalEarthIIA0); }

void MapNaturalEarthII::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kPi * kNaturalEarthIIA0;
  *top = kNaturalEarthIIMaxY;
  *right = kPi * kNaturalEarthIIA0;
  *bottom = -kNaturalEarthIIMaxY;
}

std::string MapNaturalEarthII::GetDescription() const {
  return "Natural Earth II, designed by Tom Patterson in 2012 with polynomials by Bojan Savric "
         "and Bernhard Jenny, is a compromise pseudocylindrical projection like Natural Earth "
         "but with more rounded polar corners and longer parallels at high latitudes, which "
         "gives the Arctic and Antarctic more room.";
}

MapProject* CreateRobinson() { return new (std::nothrow) MapRobinson; }
MapProject* CreateEqualEarth() { return new (std::nothrow) MapEqualEarth; }
MapProject* CreateNaturalEarth() { return new (std::nothrow) MapNaturalEarth; }
MapProject* CreateNaturalEarthII() { return new (std::nothrow) MapNaturalEarthII; }

}  // namespace Projection
