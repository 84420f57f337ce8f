// Conic projections in normal aspect: Albers equal-area, Lambert conformal and equidistant. The
// latitude of origin phi0 and the central meridian lambda0 land on the offset point (x0, y0); a and
// b are the ellipsoid's semi-axes (b = a: the sphere of radius a). Standard parallels are Init
// arguments 7 and 8 (radians); the equidistant conic reads only the first.
//
// Init returns -1 for parallels it cannot build a cone from: Albers and Lambert when
// |parallel1 + parallel2| < 1e-10, the equidistant conic when |sin parallel1| < 1e-10. The object
// then holds the new centre, offsets, axes and window beside the cone constants of its last
// successful Init (construction values before any), and Forward/Inverse must not be relied on until
// one Init has succeeded.
//
// Inverse returns 0, -1 for points off the cone's sector, at a pole (Albers, Lambert), beyond a
// pole (equidistant) or outside the window, and 1 when the Albers latitude iteration fails.
#ifndef KARTOVEL_PROJECTION_CONIC_H_
#define KARTOVEL_PROJECTION_CONIC_H_

#include "projection/map_project.h"

namespace Projection {

// Derived constants: es, e3 (the eccentricity), ns (cone constant n), c, rho0.
class MapAlbersEqualAreaConic : public MapProject {
 public:
  const char* GetName() const override { return "Albers Equal-Area Conic"; }
  std::int32_t GetFlags() const override { return MAP_CONIC | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 18; }
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Derived constants: es, e, rho0 and its own coneF, coneN. Forward returns -1 (nothing written) for
// the pole away from the cone's apex.
class MapLambertConformalConic : public MapProject {
 public:
  const char* GetName() const override { return "Lambert Conformal Conic"; }
  std::int32_t GetFlags() const override { return MAP_CONIC | MAP_CONFORMAL; }
  std::int32_t GetTypeCode() const override { return 20; }
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  double coneF = 1.0;  // F = m1 / (n t1^n)
  double coneN = 1.0;  // cone constant n
};

// One standard parallel. Derived constants: es, e, the meridian series e0..e3, g, ml0, rho0 and its
// own coneN. Keeps the base class's empty description.
class MapEquidistantConic : public MapProject {
 public:
  const char* GetName() const override { return "Equidistant Conic"; }
  std::int32_t GetFlags() const override { return MAP_CONIC | MAP_EQUIDISTANT; }
  std::int32_t GetTypeCode() const override { return 19; }
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;

  double coneN = 1.0;  // cone constant n = sin parallel1
};

MapProject* CreateAlbersEqualAreaConic();
MapProject* CreateEquidistantConic();
MapProject* CreateLambertConformalConic();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_CONIC_H_
