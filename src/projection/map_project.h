// The projection interface every map projection implements: built-in classes, modules and
// composites.
//
// This header is self-contained (standard library only) so that the author of a projection module
// can compile against it alone. The order of the virtual operations is the binary contract with
// modules: never reorder, insert or remove a virtual function.
//
// Units: angles are radians (latitude positive north, longitude positive east); map units are the
// projection's own plane coordinates (x east, y north). Map units times GetUnitScale() give
// normalised map coordinates, in which the equirectangular world spans x in [-1, 1] and
// y in [-0.5, 0.5].
#ifndef KARTOVEL_PROJECTION_MAP_PROJECT_H_
#define KARTOVEL_PROJECTION_MAP_PROJECT_H_

#include <cmath>
#include <cstdint>
#include <string>

namespace Projection {

// Type flag bits returned by GetFlags().
enum : std::int32_t {
  MAP_CYLINDRICAL = 0x0001,
  MAP_PSEUDOCYLINDRICAL = 0x0002,
  MAP_CONIC = 0x0004,
  MAP_POLYCONIC = 0x0008,
  MAP_EQUIDISTANT = 0x0010,
  MAP_AZIMUTHAL = 0x0020,
  MAP_AZIMUTHAL_PROPER = 0x0040,
  MAP_INTERRUPTED = 0x0080,
  MAP_CONFORMAL = 0x1000,
  MAP_EQUAL_AREA = 0x2000,
  MAP_PERSPECTIVE = 0x4000,
};

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kHalfPi = 1.5707963267948966;
inline constexpr double kQuarterPi = 0.7853981633974483;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kDegToRad = 0.017453292519943295;  // pi / 180
inline constexpr double kRadToDeg = 57.29577951308232;     // 180 / pi

// Brings an angle into [-pi, pi] by at most 11 turns; pi and -pi come back unchanged, and an angle
// further out than about 23 pi is moved by 22 pi only.
inline double WrapAngle(double x) {
  for (int i = 0; i < 11; ++i) {
    if (std::fabs(x) <= kPi) break;
    x += (x >= 0) ? -kTwoPi : kTwoPi;
  }
  return x;
}

// +1.0 for x >= 0 (zero included), otherwise -1.0.
inline double Sign(double x) { return x >= 0 ? 1.0 : -1.0; }

// Sine and cosine of one angle (radians) in one call.
inline void SinCos(double angle, double* s, double* c) {
  *s = std::sin(angle);
  *c = std::cos(angle);
}

// Appends, for each set bit, its word with a leading blank, in the fixed display order
// (Conic, Cylindrical, Conformal, Equal Area, Perspective, Equidistant, Pseudocylindrical,
// Azimuthal, Polyconic, Interrupted). MAP_AZIMUTHAL_PROPER and unassigned bits add nothing.
inline void FormatTypeFlags(std::int32_t flags, std::string* text) {
  static constexpr struct {
    std::int32_t bit;
    const char* word;
  } kWords[] = {
      {MAP_CONIC, " Conic"},
      {MAP_CYLINDRICAL, " Cylindrical"},
      {MAP_CONFORMAL, " Conformal"},
      {MAP_EQUAL_AREA, " Equal Area"},
      {MAP_PERSPECTIVE, " Perspective"},
      {MAP_EQUIDISTANT, " Equidistant"},
      {MAP_PSEUDOCYLINDRICAL, " Pseudocylindrical"},
      {MAP_AZIMUTHAL, " Azimuthal"},
      {MAP_POLYCONIC, " Polyconic"},
      {MAP_INTERRUPTED, " Interrupted"},
  };
  text->clear();
  for (const auto& w : kWords) {
    if (flags & w.bit) text->append(w.word);
  }
}

// Base class and interface of every projection. Objects are made by a creation function on the heap
// and destroyed by their owner through the virtual destructor.
//
// Forward, Inverse and the constant queries of built-in classes only read the object, so one
// initialised object may serve many threads at once; Init must not overlap any other call.
class MapProject {
 public:
  MapProject() = default;
  MapProject(const MapProject&) = delete;
  MapProject& operator=(const MapProject&) = delete;

  virtual ~MapProject() = default;

  // Display name; the same pointer every time, valid while the class (or its module) is loaded.
  virtual const char* GetName() const { return "Plate Caree"; }
  // Combination of the MAP_ flag bits; constant per class.
  virtual std::int32_t GetFlags() const { return 0; }
  // Type code; the registry accepts 0..255.
  virtual std::int32_t GetTypeCode() const { return 0; }

  // Replaces every parameter and recomputes every derived constant. Angles in radians, offsets in
  // map units; note latitude before longitude and y offset before x offset. Returns 0 when the
  // parameters are accepted, -1 when rejected.
  virtual int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset,
                   double a, double b, double parallel1, double parallel2) {
    CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
    CenteredLatitudeWindow();
    (void)parallel1;
    (void)parallel2;
    return 0;
  }

  // Map units (offsets included) to latitude and longitude. Returns 0 when (x, y) is on the map and
  // inside the accepted window; any other value means no point (outputs then meaningless).
  virtual int Inverse(double x, double y, double* latitude, double* longitude) {
    (void)x, (void)y, (void)latitude, (void)longitude;
    return -1;
  }

  // Latitude and longitude to map units with the offsets added. Returns 0 when the point has an
  // image; otherwise non-zero and the outputs are meaningless.
  virtual int Forward(double latitude, double longitude, double* x, double* y) {
    (void)latitude, (void)longitude, (void)x, (void)y;
    return -1;
  }

  // Factor from map units to normalised map coordinates; constant per class.
  virtual double GetUnitScale() const { return 1.0; }

  // The whole map in map units (top > bottom); constant per class.
  virtual void GetBounds(double* left, double* top, double* right, double* bottom) const {
    *left = -1.0;
    *top = 0.5;
    *right = 1.0;
    *bottom = -0.5;
  }

  // A fixed English paragraph on the projection's properties and history.
  virtual std::string GetDescription() const { return std::string(); }

  // 0 when the point lies inside the accepted window (limits included), otherwise -1.
  int InsideBounds(double latitude, double longitude) const {
    if (latitude < latMin || latitude > latMax || longitude < lonMin || longitude > lonMax) {
      return -1;
    }
    return 0;
  }

  // State shared by all projections, in the order of the interface contract.
  double centerLon = 0.0;  // lambda0, radians
  double centerLat = 0.0;  // phi0, radians
  double offsetY = 0.0;    // map units
  double offsetX = 0.0;    // map units
  double sinCenterLat = 0.0;
  double cosCenterLat = 1.0;
  double axisA = 1.0;  // globe radius for the spherical formulas
  double axisB = 1.0;  // read only through the eccentricity
  // Pool of derived constants; each class uses the ones it names.
  double c = 1.0;
  double es = 0.0;
  double e = 0.0;
  double e0 = 0.0, e1 = 0.0, e2 = 0.0;
  double e3 = 0.0;
  double rho0 = 1.0;
  double ns = 1.0;
  double g = 0.0, ml0 = 0.0;
  double epsilon = 1e-10;
  double lonMin = -kPi;
  double lonMax = kPi;
  double latMax = kHalfPi;
  double latMin = -kHalfPi;

 protected:
  // Steps shared by every Init: stores the centre, offsets and axes, and the longitude window.
  void CommonInit(double centerLatitude, double centerLongitude, double yOffset, double xOffset,
                  double a, double b) {
    centerLat = centerLatitude;
    centerLon = centerLongitude;
    offsetY = yOffset;
    offsetX = xOffset;
    axisA = a;
    axisB = b;
    SinCos(centerLat, &sinCenterLat, &cosCenterLat);
    lonMin = centerLon - kPi;
    lonMax = centerLon + kPi;
  }
  // Latitude window of the azimuthal and conic classes: it moves with the centre.
  void CenteredLatitudeWindow() {
    latMax = centerLat + kHalfPi;
    latMin = centerLat - kHalfPi;
  }
  // Latitude window of the world-map classes: always the whole globe.
  void FixedLatitudeWindow() {
    latMax = kHalfPi;
    latMin = -kHalfPi;
  }
};

// Creation function of a projection type: a new heap object, or null when memory runs out.
using ProjectionFactory = MapProject* (*)();

}  // namespace Projection

// A projection module is a shared library ("name.so") placed beside the Kartovel programs. It
// supplies one projection type through two C functions, declared with this macro:
//
//   KARTOVEL_MODULE_EXPORT Projection::MapProject* CreateProjection();  // new object, or null
//   KARTOVEL_MODULE_EXPORT const char* ClassProjection();  // must exist; Kartovel never calls it
//
// Objects are destroyed through their virtual destructor, so the module frees what it allocated.
// The type code must be 0..255 and not taken by a built-in type or an earlier module (modules load
// in file-name order). Forward is called from several threads at once and must only read the
// object. Build the module with the same compiler family as Kartovel: the virtual table layout of
// MapProject is the binary contract.
#define KARTOVEL_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

#endif  // KARTOVEL_PROJECTION_MAP_PROJECT_H_
