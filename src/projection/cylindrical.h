// Cylindrical projections: equirectangular, Mercator, Miller, cylindrical equal-area and Gall
// stereographic. x is proportional to the wrapped longitude difference, y depends on latitude
// alone, the latitude window is fixed at +-pi/2.
#ifndef KARTOVEL_PROJECTION_CYLINDRICAL_H_
#define KARTOVEL_PROJECTION_CYLINDRICAL_H_

#include "projection/map_project.h"
#include "projection/row_forward.h"
#include "projection/world_frame.h"

namespace Projection {

// x = a WrapAngle(lon - lon0), y = a lat. Forward never fails. Inverse returns -1 with only the
// latitude written when |y - y0| > a pi/2, and -1 with both outputs written outside the window.
class MapEquirectangular : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Equirectangular"; }
  std::int32_t GetFlags() const override { return MAP_CYLINDRICAL | MAP_EQUIDISTANT; }
  std::int32_t GetTypeCode() const override { return 2; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Conformal; Init takes the eccentricity from a and b (b >= a: the sphere). Forward returns -1 with
// nothing written within 1e-10 of a pole. Inverse returns -1 with latitude 0 and the longitude
// unwritten when its latitude iteration has not converged in 16 steps, and -1 with both outputs
// written outside the window.
class MapMercator : public RowProjection<FixedWindowProjection> {
 public:
  const char* GetName() const override { return "Mercator"; }
  std::int32_t GetFlags() const override { return MAP_CYLINDRICAL | MAP_CONFORMAL; }
  std::int32_t GetTypeCode() const override { return 6; }
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  // Per row: the latitude's y (and its failure); Forward is built from the two.
  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  double scaleK = 1.0;  // scale factor along the equator
};

// Forward never fails (the poles have an image). Inverse returns -1 with both outputs written
// outside the window.
class MapMillerCylindrical : public RowProjection<FixedWindowProjection> {
 public:
  const char* GetName() const override { return "Miller Cylindrical"; }
  std::int32_t GetFlags() const override { return MAP_CYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 7; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  // Per row: the latitude's y (and its failure); Forward is built from the two.
  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Equal-area, true to scale along the standard parallels +-parallel1 (Init argument 7): x =
// a cos(p1) dLon, y = a sin(lat) / cos(p1). Init returns -1 unless cos(p1) > 1e-10, keeping the
// standard parallel of its last successful Init (0 before any). Forward never fails; Inverse
// returns -1 with nothing written beyond the poles, with both outputs written outside the window.
class MapCylindricalEqualArea : public RowProjection<FixedWindowProjection> {
 public:
  const char* GetName() const override { return "Cylindrical Equal-Area"; }
  std::int32_t GetFlags() const override { return MAP_CYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 32; }
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  double scaleK = 1.0;  // cosine of the standard parallel
};

// Projection from the equator's far point onto a cylinder cutting the globe at 45 degrees:
// x = a dLon / sqrt(2), y = a (1 + sqrt(2)/2) tan(lat / 2). Forward never fails; Inverse returns -1
// with nothing written beyond the poles, with both outputs written outside the window.
class MapGallStereographic : public RowProjection<FixedWindowProjection> {
 public:
  const char* GetName() const override { return "Gall Stereographic"; }
  std::int32_t GetFlags() const override { return MAP_CYLINDRICAL | MAP_PERSPECTIVE; }
  std::int32_t GetTypeCode() const override { return 33; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

MapProject* CreateEquirectangular();
MapProject* CreateMercator();
MapProject* CreateMillerCylindrical();
MapProject* CreateCylindricalEqualArea();
MapProject* CreateGallStereographic();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_CYLINDRICAL_H_
