// Pseudocylindrical projections: sinusoidal, Mollweide, Wagner IV, Wagner VI, Eckert IV,
// Eckert VI, Kavrayskiy VII and Times.
//
// Forward is PrepareRow followed by ForwardInRow, so the row fast path gives Forward's results
// bit for bit. Row::value holds: [0] x per radian of longitude difference, [1] y with the offset,
// [2] 0 when every longitude lands on the centre meridian (Mollweide's poles), otherwise 1.
#include "projection/pseudocylindrical.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "projection/root_finding.h"
#include "projection/world_frame.h"

namespace Projection {

void FillRow(const MapProject& p, double perRadian, double y, RowForward::Row* row) {
  row->status = 0;
  row->value[0] = p.axisA * perRadian;
  row->value[1] = p.axisA * y + p.offsetY;
  row->value[2] = 1.0;
}

namespace {

double ClampUnit(double v) { return std::clamp(v, -1.0, 1.0); }

// One Newton step towards theta + sin(theta) = target.
double NewtonStep(double target, double theta) {
  return (target - (std::sin(theta) + theta)) / (std::cos(theta) + 1);
}

// Solves theta + sin(theta) = target from theta = start with one step plus at most `furtherSteps`;
// false when the last step is still at least epsilon.
bool SolveAuxiliaryAngle(double target, double start, int furtherSteps, double epsilon,
                         double* theta) {
  double delta = NewtonStep(target, start);
  double t = start + delta;
  for (int step = 0; std::fabs(delta) >= epsilon; ++step) {
    if (step == furtherSteps) return false;
    delta = NewtonStep(target, t);
    t += delta;
  }
  *theta = t;
  return true;
}

}  // namespace

// ---- Sinusoidal -------------------------------------------------------------------------------

void MapSinusoidal::PrepareRow(double latitude, Row* row) const {
  FillRow(*this, std::cos(latitude), latitude, row);
}

int MapSinusoidal::Inverse(double x, double y, double* latitude, double* longitude) {
  const double phi = (y - offsetY) / axisA;
  *latitude = phi;
  if (std::fabs(phi) >= kHalfPi) return -1;
  double lambda = centerLon;
  if (std::fabs(std::fabs(phi) - kHalfPi) > epsilon) {
    lambda = (x - offsetX) / (axisA * std::cos(phi)) + centerLon;
  }
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapSinusoidal::GetUnitScale() const { return kInvPi; }

void MapSinusoidal::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapSinusoidal::GetDescription() const {
  return "The sinusoidal projection is an equal-area pseudocylindrical projection in which "
         "every parallel is a straight line drawn at its true length and spaced at its true "
         "distance from the equator, so meridians become sine curves that meet at the poles. "
         "Jean Cossin used it in 1570, and it also carries the names of Sanson and Flamsteed. "
         "Shapes are badly sheared far from the central meridian, so it is mostly shown "
         "interrupted, or for maps of Africa and South America.";
}

// ---- Mollweide --------------------------------------------------------------------------------

namespace {
constexpr double kMollweideCx = 0.900316316158;         // 2 sqrt(2) / pi rounded to 12 digits
constexpr double kMollweideCy = 1.4142135623731;        // sqrt(2) rounded to 13 digits
constexpr double kMollweideInvCx = 1.1107207345384886;  // 1 / kMollweideCx
constexpr double kMollweideInvCy = 0.707106781186545;   // 1 / kMollweideCy
constexpr int kMollweideFurtherSteps = 50;              // the poles need about 29
}  // namespace

void MapMollweide::PrepareRow(double latitude, Row* row) const {
  double theta;
  if (!SolveAuxiliaryAngle(kPi * std::sin(latitude), latitude, kMollweideFurtherSteps, epsilon,
                           &theta)) {
    row->status = -1;
    return;
  }
  row->status = 0;
  row->value[0] = std::cos(theta / 2) * axisA * kMollweideCx;
  row->value[1] = std::sin(theta / 2) * axisA * kMollweideCy + offsetY;
  // The iteration leaves a pole slightly off the tip: put every longitude on the centre meridian.
  row->value[2] = kHalfPi - std::fabs(latitude) < epsilon ? 0.0 : 1.0;
}

int MapMollweide::Inverse(double x, double y, double* latitude, double* longitude) {
  const double theta = std::asin(ClampUnit((y - offsetY) * kMollweideInvCy / axisA));
  const double lambda = (x - offsetX) * kMollweideInvCx / (axisA * std::cos(theta)) + centerLon;
  *longitude = lambda;
  const double phi = std::asin(ClampUnit((2 * theta + std::sin(2 * theta)) * kInvPi));
  *latitude = phi;
  *longitude = std::clamp(WrapAngle(lambda), -kPi, kPi);
  return InsideBounds(phi, lambda);
}

double MapMollweide::GetUnitScale() const { return kFourElevenths; }

void MapMollweide::GetBounds(double* left, double* top, double* right, double* bottom) const {
  ElevenQuarterFrame(left, top, right, bottom);
}

std::string MapMollweide::GetDescription() const {
  return "The Mollweide projection, published by Karl Brandan Mollweide in 1805, is an "
         "equal-area pseudocylindrical projection whose world map is an ellipse twice as wide "
         "as high. Parallels are straight lines, meridians half ellipses. It is used for world "
         "maps of distributions.";
}

// ---- Wagner IV --------------------------------------------------------------------------------

namespace {
constexpr double kWagnerIVCp = 2.9604205062;  // 2 pi/3 + sin(2 pi/3) rounded
constexpr double kWagnerIVCx = 0.8631;
constexpr double kWagnerIVCy = 1.56548;
constexpr double kWagnerIVInvCp = 0.3377898504302692;  // 1 / kWagnerIVCp
constexpr double kWagnerIVInvCx = 1.1586142973004288;  // 1 / kWagnerIVCx
constexpr double kWagnerIVInvCy = 0.6387817155121752;  // 1 / kWagnerIVCy
constexpr int kWagnerIVFurtherSteps = 30;
}  // namespace

void MapWagnerIV::PrepareRow(double latitude, Row* row) const {
  double theta;
  if (!SolveAuxiliaryAngle(kWagnerIVCp * std::sin(latitude), latitude, kWagnerIVFurtherSteps,
                           epsilon, &theta)) {
    row->status = -1;
    return;
  }
  row->status = 0;
  row->value[0] = std::cos(theta / 2) * axisA * kWagnerIVCx;
  row->value[1] = std::sin(theta / 2) * axisA * kWagnerIVCy + offsetY;
  row->value[2] = 1.0;
}

int MapWagnerIV::Inverse(double x, double y, double* latitude, double* longitude) {
  const double s = (y - offsetY) * kWagnerIVInvCy / axisA;
  if (s < -1 || s > 1) return -1;
  const double theta = std::asin(s);
  const double lambda = (x - offsetX) * kWagnerIVInvCx / (axisA * std::cos(theta)) + centerLon;
  *longitude = lambda;
  const double v = (2 * theta + std::sin(2 * theta)) * kWagnerIVInvCp;
  if (v < -1 || v > 1) return -1;
  const double phi = std::asin(v);
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapWagnerIV::GetUnitScale() const { return kFourElevenths; }

void MapWagnerIV::GetBounds(double* left, double* top, double* right, double* bottom) const {
  ElevenQuarterFrame(left, top, right, bottom);
}

std::string MapWagnerIV::GetDescription() const {
  return "Wagner IV is an equal-area pseudocylindrical projection that Karlheinz Wagner derived "
         "in 1932, from the Mollweide projection by cutting its ellipse at sixty degrees of the "
         "auxiliary angle. The poles become straight lines half as long as the equator, easing "
         "the crowding of polar regions. Also called Putnins P2'.";
}

// ---- Wagner VI --------------------------------------------------------------------------------

namespace {
constexpr double kWagnerVIK = 0.3039635509270133;  // 3 / pi^2
}  // namespace

void MapWagnerVI::PrepareRow(double latitude, Row* row) const {
  FillRow(*this, std::sqrt(1 - kWagnerVIK * latitude * latitude), latitude, row);
}

int MapWagnerVI::Inverse(double x, double y, double* latitude, double* longitude) {
  const double phi = (y - offsetY) / axisA;
  *latitude = phi;
  if (std::fabs(phi) >= kHalfPi) return -1;
  double lambda = centerLon;
  if (std::fabs(std::fabs(phi) - kHalfPi) > epsilon) {
    lambda = (x - offsetX) / (axisA * std::sqrt(1 - kWagnerVIK * phi * phi)) + centerLon;
  }
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapWagnerVI::GetUnitScale() const { return kInvPi; }

void MapWagnerVI::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapWagnerVI::GetDescription() const {
  return "Wagner VI is a compromise pseudocylindrical projection by Karlheinz Wagner. Parallels "
         "are equally spaced straight lines, and the poles are lines half the length of the "
         "equator. Well balanced.";
}

// ---- Eckert IV --------------------------------------------------------------------------------

namespace {
constexpr double kEckertIVCx = 0.42223820031577125;  // 2 / sqrt(pi (4 + pi))
constexpr double kEckertIVCy = 1.3265004281770023;   // 2 sqrt(pi / (4 + pi))
constexpr double kEckertIVCp = 3.5707963267948966;   // 2 + pi / 2
constexpr double kEckertIVHalfWidth = 2 * kPi * kEckertIVCx;
constexpr double kEckertIVTolerance = 1e-13;
constexpr int kEckertIVMaxSteps = 60;  // bisection alone would need about 45
}  // namespace

void MapEckertIV::PrepareRow(double latitude, Row* row) const {
  // t + sin t cos t + 2 sin t = Cp sin(lat): its left side rises on [-pi/2, pi/2], with a slope
  // 2 cos t (1 + cos t) that vanishes at the poles, so the Newton steps are bracketed.
  double t = std::copysign(kHalfPi, latitude);
  if (!(std::fabs(latitude) >= kHalfPi)) {
    const double target = kEckertIVCp * std::sin(latitude);
    const auto f = [target](double u, double* value, double* slope) {
      const double s = std::sin(u), c = std::cos(u);
      *value = u + s * c + 2 * s - target;
      *slope = 2 * c * (1 + c);
    };
    if (!SolveInBracket(f, -kHalfPi, kHalfPi, latitude, kEckertIVTolerance, kEckertIVMaxSteps,
                        &t)) {
      row->status = -1;
      return;
    }
  }
  FillRow(*this, kEckertIVCx * (1 + std::cos(t)), kEckertIVCy * std::sin(t), row);
}

int MapEckertIV::Inverse(double x, double y, double* latitude, double* longitude) {
  const double sinT = (y - offsetY) / (axisA * kEckertIVCy);
  if (!(std::fabs(sinT) <= 1)) return -1;
  const double t = std::asin(sinT);
  const double cosT = std::cos(t);
  const double lambda = (x - offsetX) / (axisA * kEckertIVCx * (1 + cosT)) + centerLon;
  const double phi = std::asin(ClampUnit((t + sinT * cosT + 2 * sinT) / kEckertIVCp));
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapEckertIV::GetUnitScale() const { return 1 / kEckertIVHalfWidth; }

void MapEckertIV::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kEckertIVHalfWidth;
  *top = kEckertIVCy;
  *right = kEckertIVHalfWidth;
  *bottom = -kEckertIVCy;
}

std::string MapEckertIV::GetDescription() const {
  return "Eckert IV is an equal-area pseudocylindrical projection published by Max Eckert in "
         "1906. The poles are lines half as long as the equator and the meridians are "
         "semi-ellipses, so the outline has rounded corners. Scale is true along 40 deg 30 min "
         "north and south at the central meridian. It is a favourite of thematic world maps and "
         "atlases.";
}

// ---- Eckert VI --------------------------------------------------------------------------------

namespace {
constexpr double kEckertVIN = 2.5707963267948966;      // 1 + pi / 2
constexpr double kEckertVICy = 0.882025543449103;      // sqrt(2 / n)
constexpr double kEckertVICx = 0.4410127717245515;     // Cy / 2
constexpr double kEckertVIInvN = 0.38898452964834274;  // 1 / n
constexpr int kEckertVIFurtherSteps = 30;
}  // namespace

void MapEckertVI::PrepareRow(double latitude, Row* row) const {
  double theta;
  if (!SolveAuxiliaryAngle(kEckertVIN * std::sin(latitude), latitude, kEckertVIFurtherSteps,
                           epsilon, &theta)) {
    row->status = -1;
    return;
  }
  FillRow(*this, kEckertVICx * (1 + std::cos(theta)), kEckertVICy * theta, row);
}

int MapEckertVI::Inverse(double x, double y, double* latitude, double* longitude) {
  const double theta = (y - offsetY) / (axisA * kEckertVICy);
  if (!(std::fabs(theta) <= kHalfPi)) return -1;
  const double lambda = (x - offsetX) / (axisA * kEckertVICx * (1 + std::cos(theta))) + centerLon;
  const double phi = std::asin(ClampUnit((theta + std::sin(theta)) * kEckertVIInvN));
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapEckertVI::GetUnitScale() const { return 1 / (2 * kPi * kEckertVICx); }

void MapEckertVI::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -2 * kPi * kEckertVICx;
  *top = kHalfPi * kEckertVICy;
  *right = 2 * kPi * kEckertVICx;
  *bottom = -kHalfPi * kEckertVICy;
}

std::string MapEckertVI::GetDescription() const {
  return "Eckert VI is an equal-area pseudocylindrical projection published by Max Eckert in "
         "1906. Its meridians are sine curves and its poles are lines half as long as the "
         "equator, which stretches shapes north-south near the equator and flattens them near "
         "the poles. Scale is true along 49 deg 16 min north and south. Used for world maps of "
         "distributions, among them soil and vegetation maps.";
}

// ---- Kavrayskiy VII ---------------------------------------------------------------------------

namespace {
constexpr double kKavrayskiyOneThird = 0.3333333333333333;
constexpr double kKavrayskiyInvPiSquared = 0.10132118364233778;  // 1 / pi^2
constexpr double kKavrayskiyHalfWidth = 2.7206990463513265;      // pi sqrt(3) / 2
}  // namespace

void MapKavrayskiyVII::PrepareRow(double latitude, Row* row) const {
  FillRow(*this,
          1.5 * std::sqrt(kKavrayskiyOneThird - latitude * latitude * kKavrayskiyInvPiSquared),
          latitude, row);
}

int MapKavrayskiyVII::Inverse(double x, double y, double* latitude, double* longitude) {
  const double phi = (y - offsetY) / axisA;
  *latitude = phi;
  if (!(std::fabs(phi) <= kHalfPi)) return -1;
  const double lambda =
      (x - offsetX) /
          (axisA * 1.5 * std::sqrt(kKavrayskiyOneThird - phi * phi * kKavrayskiyInvPiSquared)) +
      centerLon;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapKavrayskiyVII::GetUnitScale() const { return 1 / kKavrayskiyHalfWidth; }

void MapKavrayskiyVII::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kKavrayskiyHalfWidth;
  *top = kHalfPi;
  *right = kKavrayskiyHalfWidth;
  *bottom = -kHalfPi;
}

std::string MapKavrayskiyVII::GetDescription() const {
  return "The Kavrayskiy VII projection, devised by Vladimir Kavrayskiy in 1939, is a "
         "compromise pseudocylindrical projection with equally spaced straight parallels and "
         "elliptical meridians; the poles are lines half as long as the equator. Its distortion "
         "of areas and angles is low and well balanced, and it is widely used for world maps in "
         "the countries of the former Soviet Union.";
}

// ---- Times ------------------------------------------------------------------------------------

namespace {
constexpr double kTimesCx = 0.74482;
constexpr double kTimesCs = 0.34588;
constexpr double kTimesCy = 1.70711;
}  // namespace

void MapTimes::PrepareRow(double latitude, Row* row) const {
  const double t = std::tan(latitude / 2);
  const double s = std::sin(kQuarterPi * t);
  FillRow(*this, kTimesCx - kTimesCs * s * s, kTimesCy * t, row);
}

int MapTimes::Inverse(double x, double y, double* latitude, double* longitude) {
  const double t = (y - offsetY) / (axisA * kTimesCy);
  if (!(std::fabs(t) <= 1)) return -1;
  const double s = std::sin(kQuarterPi * t);
  const double lambda = (x - offsetX) / (axisA * (kTimesCx - kTimesCs * s * s)) + centerLon;
  const double phi = 2 * std::atan(t);
  *latitude = phi;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapTimes::GetUnitScale() const { return 1 / (kPi * kTimesCx); }

void MapTimes::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kPi * kTimesCx;
  *top = kTimesCy;
  *right = kPi * kTimesCx;
  *bottom = -kTimesCy;
}

std::string MapTimes::GetDescription() const {
  return "The Times projection was designed by John Moir in 1965 for the atlases of The Times. "
         "It is a compromise pseudocylindrical projection whose parallels are spaced like those "
         "of the Gall stereographic projection, with straight pole lines and meridians that "
         "curve gently towards them, so the high latitudes keep much of their size without the "
         "infinite stretch of Mercator.";
}

MapProject* CreateSinusoidal() { return new (std::nothrow) MapSinusoidal; }
MapProject* CreateMollweide() { return new (std::nothrow) MapMollweide; }
MapProject* CreateWagnerIV() { return new (std::nothrow) MapWagnerIV; }
MapProject* CreateWagnerVI() { return new (std::nothrow) MapWagnerVI; }
MapProject* CreateEckertIV() { return new (std::nothrow) MapEckertIV; }
MapProject* CreateEckertVI() { return new (std::nothrow) MapEckertVI; }
MapProject* CreateKavrayskiyVII() { return new (std::nothrow) MapKavrayskiyVII; }
MapProject* CreateTimes() { return new (std::nothrow) MapTimes; }

}  // namespace Projection
