// Ellipsoid functions shared by the Mercator and conic classes.
#include "projection/ellipsoid.h"

#include <algorithm>
#include <cmath>

#include "projection/map_project.h"

namespace Projection {
namespace {

constexpr int kConformalIterations = 16;
constexpr double kConformalTolerance = 1e-10;
constexpr int kAuthalicIterations = 25;
constexpr double kAuthalicTolerance = 1e-7;
constexpr int kMeridianIterations = 15;
constexpr double kMeridianTolerance = 1e-10;
constexpr double kE3Factor = 0.011393229166666666;  // 35 / 3072

void SetCode(int* code, int value) {
  if (code) *code = value;
}

}  // namespace

double ConformalT(double e, double phi, double sinPhi) {
  const double con = e * sinPhi;
  return std::tan(0.5 * (kHalfPi - phi)) * std::pow((1.0 - con) / (1.0 + con), -0.5 * e);
}

double LatitudeFromConformalT(double e, double t, int* code) {
  SetCode(code, 0);
  const double halfE = 0.5 * e;
  double phi = kHalfPi - 2.0 * std::atan(t);
  for (int i = 0; i < kConformalIterations; ++i) {
    const double con = e * std::sin(phi);
    const double next = kHalfPi - 2.0 * std::atan(t * std::pow((1.0 - con) / (1.0 + con), halfE));
    if (std::fabs(next - phi) <= kConformalTolerance) return next;
    phi = next;
  }
  SetCode(code, 2);
  return 0.0;
}

double AuthalicQ(double e, double sinPhi) {
  const double es = e * e;
  const double con = e * sinPhi;
  return (1.0 - es) *
         (sinPhi / (1.0 - es * sinPhi * sinPhi) - (0.5 / e) * std::log((1.0 - con) / (1.0 + con)));
}

double LatitudeFromAuthalicQ(double e, double q, double epsilon, int* code) {
  SetCode(code, 0);
  double phi = std::asin(std::clamp(0.5 * q, -1.0, 1.0));
  if (e < epsilon) return phi;
  const double es = e * e;
  for (int i = 0; i < kAuthalicIterations; ++i) {
    double s, c;
    SinCos(phi, &s, &c);
    const double k = e * s;
    const double w = 1.0 - k * k;
    const double delta = (w * w / (2.0 * c)) *
                         (q / (1.0 - es) - s / w + (0.5 / e) * std::log((1.0 - k) / (1.0 + k)));
    phi += delta;
    if (std::fabs(delta) <= kAuthalicTolerance) return phi;
  }
  SetCode(code, 1);
  return 0.0;
}

double ParallelRadius(double e, double sinPhi, double cosPhi) {
  const double con = e * sinPhi;
  return cosPhi / std::sqrt(1.0 - con * con);
}

MeridianSeries MeridianCoefficients(double es) {
  MeridianSeries s;
  s.e0 = 1.0 - 0.25 * es * (1.0 + es / 16.0 * (3.0 + 1.25 * es));
  s.e1 = 0.375 * es * (1.0 + 0.25 * es * (1.0 + 0.46875 * es));
  s.e2 = 0.05859375 * es * es * (1.0 + 0.75 * es);
  s.e3 = es * es * es * kE3Factor;
  return s;
}

double MeridianDistance(const MeridianSeries& s, double phi) {
  return s.e0 * phi - s.e1 * std::sin(2.0 * phi) + s.e2 * std::sin(4.0 * phi) -
         s.e3 * std::sin(6.0 * phi);
}

double LatitudeFromMeridianDistance(double m, const MeridianSeries& s, int* code) {
  SetCode(code, 0);
  double phi = m;
  for (int i = 0; i < kMeridianIterations; ++i) {
    const double next =
        (m + s.e1 * std::sin(2.0 * phi) - s.e2 * std::sin(4.0 * phi) + s.e3 * std::sin(6.0 * phi)) /
        s.e0;
    if (std::fabs(next - phi) <= kMeridianTolerance) return next;
    phi = next;
  }
  SetCode(code, 3);
  return 0.0;
}

double PolarFactor(double e) {
  return std::sqrt(std::pow(1.0 + e, 1.0 + e) * std::pow(1.0 - e, 1.0 - e));
}

}  // namespace Projection
