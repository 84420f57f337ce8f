// Polyconic and pseudoconic projections of the sphere: the American polyconic, Bonne and the
// Nicolosi globular. Their parallels are circular arcs (Bonne: concentric, the others: not); a map
// unit is a length on the sphere of radius a. Init never changes the latitude window, fixed at
// +-pi/2.
#ifndef KARTOVEL_PROJECTION_POLYCONIC_H_
#define KARTOVEL_PROJECTION_POLYCONIC_H_

#include "projection/map_project.h"
#include "projection/world_frame.h"

namespace Projection {

// Every parallel is the arc of its own tangent cone, true to scale, and the central meridian is
// true too. The centre latitude phi0 lands on y0. Init never rejects; Forward never fails. Inverse
// finds the latitude by a bracketed Newton iteration (at most 100 steps) and returns -1 with
// nothing written when it fails, with both outputs written outside the window.
class MapAmericanPolyconic : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "American Polyconic"; }
  std::int32_t GetFlags() const override { return MAP_POLYCONIC; }
  std::int32_t GetTypeCode() const override { return 36; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Equal-area; concentric circular parallels spaced truly, the standard parallel phi1 (Init
// argument 7) true to scale through the offset point. phi1 = 0 gives the sinusoidal projection,
// +-pi/2 Werner's heart. The centre latitude is not used. Init returns -1 unless |phi1| <= pi/2,
// keeping the parallel of its last successful Init (0 before any). Forward never fails; Inverse
// returns -1 with nothing written beyond a pole, with both outputs written outside the window.
class MapBonne : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Bonne"; }
  std::int32_t GetFlags() const override { return MAP_CONIC | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 37; }
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  double standardParallel = 0;  // phi1, radians
  double apexDistance = 0;      // cot(phi1): y of the cone's apex; unused when phi1 = 0
};

// One hemisphere, centred on lambda0, in a disc of radius a pi/2; the centre latitude is not used
// and the longitude window is lambda0 +- pi/2. Forward returns -1 with nothing written for points
// more than 90 degrees (plus 1e-10) from the central meridian. Inverse returns -1 with nothing
// written outside the disc or when its bracketed latitude iteration (at most 100 steps) fails.
class MapNicolosiGlobular : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Nicolosi Globular"; }
  std::int32_t GetFlags() const override { return MAP_POLYCONIC; }
  std::int32_t GetTypeCode() const override { return 39; }
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

MapProject* CreateAmericanPolyconic();
MapProject* CreateBonne();
MapProject* CreateNicolosiGlobular();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_POLYCONIC_H_
