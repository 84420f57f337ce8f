// Azimuthal projections: one forward and one inverse scheme shared by the five classes, which
// differ in the radial factor, the points they reject and a few special cases of the inverse.
#include "projection/azimuthal.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "projection/world_frame.h"

namespace Projection {
namespace {

double ClampUnit(double v) { return std::clamp(v, -1.0, 1.0); }

// A point seen from the centre; g is the cosine of its angular distance c from the centre.
struct Direction {
  double sinPhi, cosPhi, sinDLon, cosDLon, g;
};

Direction Toward(const MapProject& p, double latitude, double longitude) {
  Direction d;
  SinCos(latitude, &d.sinPhi, &d.cosPhi);
  SinCos(WrapAngle(longitude - p.centerLon), &d.sinDLon, &d.cosDLon);
  d.g = d.cosPhi * p.cosCenterLat * d.cosDLon + p.sinCenterLat * d.sinPhi;
  return d;
}

// Puts the point at k times its direction vector from the centre.
int Place(const MapProject& p, const Direction& d, double k, double* x, double* y) {
  const double rk = p.axisA * k;
  *x = p.offsetX + rk * d.cosPhi * d.sinDLon;
  *y = p.offsetY + rk * (d.sinPhi * p.cosCenterLat - p.sinCenterLat * d.cosPhi * d.cosDLon);
  return 0;
}

// A map point relative to the centre.
struct Offset {
  double x, y, rho;
};

Offset FromCentre(const MapProject& p, double x, double y) {
  const double dx = x - p.offsetX, dy = y - p.offsetY;
  return {dx, dy, std::sqrt(dx * dx + dy * dy)};
}

// What a map point straight above or below the centre (t and x' both about 0) does.
enum class OnCentreMeridian {
  kReturnCentreLongitude,  // return at once with lambda0
  kContinueWithCentre,     // lambda0, then the window test
  kTestExactZeroOnly,      // no tolerance: only t == 0 keeps lambda0
};

struct InverseRules {
  bool wrapsCentreLongitude;  // the centre and polar-centre answers come back wrapped
  OnCentreMeridian onCentreMeridian;
  bool testsWindow;
};

// The inverse once the angular distance c from the centre is known.
int FinishInverse(const MapProject& p, const Offset& o, double c, const InverseRules& rules,
                  double* latitude, double* longitude) {
  double sinC, cosC;
  SinCos(c, &sinC, &cosC);
  *longitude = p.centerLon;
  if (o.rho <= p.epsilon) {
    *latitude = p.centerLat;
    if (rules.wrapsCentreLongitude) *longitude = WrapAngle(p.centerLon);
    return 0;
  }
  const double phi =
      std::asin(ClampUnit(cosC * p.sinCenterLat + o.y * sinC * p.cosCenterLat / o.rho));
  *latitude = phi;
  if (std::fabs(std::fabs(p.centerLat) - kHalfPi) <= p.epsilon) {
    const double lambda = p.centerLat >= 0 ? p.centerLon + std::atan2(o.x, -o.y)
                                           : p.centerLon - std::atan2(-o.x, o.y);
    *longitude = rules.wrapsCentreLongitude ? WrapAngle(lambda) : lambda;
    return 0;
  }
  const double t = cosC - std::sin(phi) * p.sinCenterLat;
  const bool onMeridian = std::fabs(t) < p.epsilon && std::fabs(o.x) < p.epsilon;
  double lambda = p.centerLon;
  switch (rules.onCentreMeridian) {
    case OnCentreMeridian::kReturnCentreLongitude:
      if (onMeridian) return 0;
      lambda = p.centerLon + std::atan2(o.x * sinC * p.cosCenterLat, t * o.rho);
      break;
    case OnCentreMeridian::kContinueWithCentre:
      if (!onMeridian) lambda = p.centerLon + std::atan2(o.x * sinC * p.cosCenterLat, t * o.rho);
      break;
    case OnCentreMeridian::kTestExactZeroOnly:
      if (t != 0) lambda = p.centerLon + std::atan2(o.x * sinC * p.cosCenterLat, t * o.rho);
      break;
  }
  *longitude = WrapAngle(lambda);
  return rules.testsWindow ? p.InsideBounds(phi, lambda) : 0;
}

}  // namespace

// ---- Azimuthal equidistant --------------------------------------------------------------------

int MapAzimuthalEquidistant::Forward(double latitude, double longitude, double* x, double* y) {
  const Direction d = Toward(*this, latitude, longitude);
  double k = 1;  // the centre itself
  if (std::fabs(std::fabs(d.g) - 1) < epsilon) {
    if (d.g < 0) return -1;  // the antipode is a whole circle
  } else {
    const double c = std::acos(d.g);
    k = c / std::sin(c);
  }
  return Place(*this, d, k, x, y);
}

int MapAzimuthalEquidistant::Inverse(double x, double y, double* latitude, double* longitude) {
  const Offset o = FromCentre(*this, x, y);
  if (o.rho > kPi * axisA) return -1;
  return FinishInverse(*this, o, o.rho / axisA,
                       {false, OnCentreMeridian::kReturnCentreLongitude, false}, latitude,
                       longitude);
}

double MapAzimuthalEquidistant::GetUnitScale() const { return kInvPi; }

void MapAzimuthalEquidistant::GetBounds(double* left, double* top, double* right,
                                        double* bottom) const {
  *left = -kPi;
  *top = kPi;
  *right = kPi;
  *bottom = -kPi;
}

std::string MapAzimuthalEquidistant::GetDescription() const {
  return "The azimuthal equidistant projection keeps both the distance and the direction from "
         "its centre to every other point true, so the whole world fits in a circle whose rim "
         "is the antipode. It is the emblem of the United Nations and serves radio operators "
         "and seismologists who need the bearings from one place.";
}

// ---- Gnomonic ---------------------------------------------------------------------------------

int MapGnomonic::Forward(double latitude, double longitude, double* x, double* y) {
  const Direction d = Toward(*this, latitude, longitude);
  if (d.g <= 0) return -1;  // on or beyond the horizon
  return Place(*this, d, 1 / d.g, x, y);
}

int MapGnomonic::Inverse(double x, double y, double* latitude, double* longitude) {
  const Offset o = FromCentre(*this, x, y);
  return FinishInverse(*this, o, std::atan(o.rho / axisA),
                       {false, OnCentreMeridian::kReturnCentreLongitude, true}, latitude,
                       longitude);
}

double MapGnomonic::GetUnitScale() const { return 1.0; }

void MapGnomonic::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -1;
  *top = 0.5;
  *right = 1;
  *bottom = -0.5;
}

std::string MapGnomonic::GetDescription() const {
  return "The gnomonic projection projects the globe from its centre onto a plane touching it, "
         "so every great circle becomes a straight line and the shortest route between two "
         "places is a straight segment. It is perhaps the oldest map projection, ascribed to "
         "Thales of Miletus in the sixth century BC. Less than a hemisphere can be shown, and "
         "shapes and areas grow quickly away from the centre. Navigators plot great-circle "
         "routes on gnomonic charts and transfer them to Mercator charts, and seismologists use "
         "it as well.";
}

// ---- Lambert azimuthal equal-area -------------------------------------------------------------

int MapLambertAzimuthalEqualArea::Forward(double latitude, double longitude, double* x, double* y) {
  const Direction d = Toward(*this, latitude, longitude);
  if (d.g == -1) return -1;  // the antipode, when rounding lands on it exactly
  return Place(*this, d, std::sqrt(2 / (1 + d.g)), x, y);
}

int MapLambertAzimuthalEqualArea::Inverse(double x, double y, double* latitude, double* longitude) {
  const Offset o = FromCentre(*this, x, y);
  const double half = o.rho * (0.5 / axisA);
  if (half > 1) return -1;
  return FinishInverse(*this, o, 2 * std::asin(ClampUnit(half)),
                       {true, OnCentreMeridian::kTestExactZeroOnly, false}, latitude, longitude);
}

double MapLambertAzimuthalEqualArea::GetUnitScale() const { return 0.5; }

void MapLambertAzimuthalEqualArea::GetBounds(double* left, double* top, double* right,
                                             double* bottom) const {
  *left = -1;
  *top = 1;
  *right = 1;
  *bottom = -1;
}

std::string MapLambertAzimuthalEqualArea::GetDescription() const {
  return "The Lambert azimuthal equal-area projection, presented by Johann Heinrich Lambert in "
         "1772, keeps areas true and directions from the centre true. The whole sphere fits in "
         "a circle twice the globe's radius. It is a favourite for atlas maps of continents, "
         "oceans and islands.";
}

// ---- Orthographic -----------------------------------------------------------------------------

namespace {
// Slack beyond the globe's rim that the inverse still takes for the horizon.
constexpr double kOrthographicRimSlack = 1e-7;
}  // namespace

int MapOrthographic::Forward(double latitude, double longitude, double* x, double* y) {
  const Direction d = Toward(*this, latitude, longitude);
  if (d.g <= 0 && std::fabs(d.g) > epsilon) return -1;  // the far hemisphere
  return Place(*this, d, 1, x, y);
}

int MapOrthographic::Inverse(double x, double y, double* latitude, double* longitude) {
  const Offset o = FromCentre(*this, x, y);
  if (o.rho > axisA + kOrthographicRimSlack) return -1;
  return FinishInverse(*this, o, std::asin(ClampUnit(o.rho / axisA)),
                       {false, OnCentreMeridian::kContinueWithCentre, true}, latitude, longitude);
}

double MapOrthographic::GetUnitScale() const { return 1.0; }

void MapOrthographic::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapOrthographic::GetDescription() const {
  return "The orthographic projection shows the globe as it looks from an infinite distance: "
         "one hemisphere inside a circle, foreshortened towards the rim. It was known to Greek "
         "astronomers and makes the most natural picture of the Earth seen from space.";
}

// ---- Stereographic ----------------------------------------------------------------------------

int MapStereographic::Forward(double latitude, double longitude, double* x, double* y) {
  const Direction d = Toward(*this, latitude, longitude);
  if (std::fabs(1 + d.g) <= epsilon) return -1;  // the antipode lies at infinity
  return Place(*this, d, 2 / (1 + d.g), x, y);
}

int MapStereographic::Inverse(double x, double y, double* latitude, double* longitude) {
  const Offset o = FromCentre(*this, x, y);
  return FinishInverse(*this, o, 2 * std::atan(o.rho * (0.5 / axisA)),
                       {false, OnCentreMeridian::kReturnCentreLongitude, true}, latitude,
                       longitude);
}

double MapStereographic::GetUnitScale() const { return 0.5; }

void MapStereographic::GetBounds(double* left, double* top, double* right, double* bottom) const {
  *left = -kPi;
  *top = kPi;
  *right = kPi;
  *bottom = -kPi;
}

std::string MapStereographic::GetDescription() const {
  return "The stereographic projection projects the sphere from a point onto the plane touching "
         "the opposite point. It is conformal, and every circle on the globe becomes a circle "
         "or a straight line on the map. Hipparchus is credited with it in the second century "
         "BC, and it was the base of the astrolabe. Scale grows away from the centre; the "
         "antipode lies at infinity. It serves polar maps, crystallography and the Universal "
         "Polar Stereographic grid.";
}

MapProject* CreateAzimuthalEquidistant() { return new (std::nothrow) MapAzimuthalEquidistant; }
MapProject* CreateGnomonic() { return new (std::nothrow) MapGnomonic; }
MapProject* CreateLambertAzimuthalEqualArea() {
  return new (std::nothrow) MapLambertAzimuthalEqualArea;
}
MapProject* CreateOrthographic() { return new (std::nothrow) MapOrthographic; }
MapProject* CreateStereographic() { return new (std::nothrow) MapStereographic; }

}  // namespace Projection
