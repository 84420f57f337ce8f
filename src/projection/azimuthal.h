// Azimuthal projections of the sphere in any aspect: azimuthal equidistant, gnomonic, Lambert
// azimuthal equal-area, orthographic and stereographic. The centre (phi0, lambda0) lands on the
// offset point (x0, y0); a map unit is a length on the sphere of radius a (Init argument 5).
//
// Init never rejects. Forward returns -1 with nothing written for the points a class cannot show
// (its far side or antipode). Inverse returns -1 with nothing written beyond the class's outer
// radius; the gnomonic, orthographic and stereographic classes also return -1 outside their window,
// with both outputs written. With the centre exactly on a pole, Inverse returns the longitude
// unwrapped (wrapped by the Lambert azimuthal equal-area class).
#ifndef KARTOVEL_PROJECTION_AZIMUTHAL_H_
#define KARTOVEL_PROJECTION_AZIMUTHAL_H_

#include "projection/map_project.h"
#include "projection/world_frame.h"

namespace Projection {

// Distances and directions from the centre are true. Forward rejects only the antipode; Inverse
// accepts map points up to pi a from the centre (the antipode drawn as a circle).
class MapAzimuthalEquidistant : public MapProject {
 public:
  const char* GetName() const override { return "Azimuthal Equidistant"; }
  std::int32_t GetFlags() const override {
    return MAP_EQUIDISTANT | MAP_AZIMUTHAL | MAP_AZIMUTHAL_PROPER;
  }
  std::int32_t GetTypeCode() const override { return 1; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Great circles are straight lines. Forward rejects every point 90 degrees or more from the centre.
class MapGnomonic : public MapProject {
 public:
  const char* GetName() const override { return "Gnomonic"; }
  std::int32_t GetFlags() const override {
    return MAP_PERSPECTIVE | MAP_AZIMUTHAL | MAP_AZIMUTHAL_PROPER;
  }
  std::int32_t GetTypeCode() const override { return 3; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Equal-area. Forward rejects only a point whose cosine of distance comes out exactly -1; Inverse
// accepts map points up to 2a from the centre and applies no window test.
class MapLambertAzimuthalEqualArea : public MapProject {
 public:
  const char* GetName() const override { return "Lambert Azimuthal Equal-Area"; }
  std::int32_t GetFlags() const override {
    return MAP_EQUAL_AREA | MAP_AZIMUTHAL | MAP_AZIMUTHAL_PROPER;
  }
  std::int32_t GetTypeCode() const override { return 5; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// The globe seen from infinitely far. Forward rejects the far hemisphere (points within 1e-10 of
// the horizon succeed); Inverse accepts map points up to a + 1e-7 from the centre.
class MapOrthographic : public MapProject {
 public:
  const char* GetName() const override { return "Orthographic"; }
  std::int32_t GetFlags() const override {
    return MAP_PERSPECTIVE | MAP_AZIMUTHAL | MAP_AZIMUTHAL_PROPER;
  }
  std::int32_t GetTypeCode() const override { return 9; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Conformal. Forward rejects only the antipode. Its latitude window is fixed at +-pi/2 whatever the
// centre.
class MapStereographic : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Stereographic"; }
  std::int32_t GetFlags() const override {
    return MAP_CONFORMAL | MAP_PERSPECTIVE | MAP_AZIMUTHAL | MAP_AZIMUTHAL_PROPER | MAP_POLYCONIC;
  }
  std::int32_t GetTypeCode() const override { return 11; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

MapProject* CreateAzimuthalEquidistant();
MapProject* CreateGnomonic();
MapProject* CreateLambertAzimuthalEqualArea();
MapProject* CreateOrthographic();
MapProject* CreateStereographic();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_AZIMUTHAL_H_
