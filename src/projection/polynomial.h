// Pseudocylindrical world maps defined by a table or by polynomials in the latitude: Robinson,
// Equal Earth, Natural Earth and Natural Earth II. y depends on the latitude alone and x is the
// wrapped longitude difference times a factor of the latitude; the latitude window is fixed at
// +-pi/2 and Init never rejects. Forward (through the row fast path of RowForward) never fails for
// a latitude that is a number. Their inverses solve for the latitude by bounded Newton iterations
// and return -1 with nothing written above or below the map, or when an iteration does not
// converge; with both outputs written outside the window.
#ifndef KARTOVEL_PROJECTION_POLYNOMIAL_H_
#define KARTOVEL_PROJECTION_POLYNOMIAL_H_

#include "projection/map_project.h"
#include "projection/pseudocylindrical.h"

namespace Projection {

// Arthur Robinson's table at every 5 degrees, interpolated by cubics as PROJ does.
class MapRobinson : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Robinson"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 23; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Equal-area; a polynomial in the parametric latitude asin(sqrt(3)/2 sin lat).
class MapEqualEarth : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Equal Earth"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 25; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Compromise; polynomials in the latitude.
class MapNaturalEarth : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Natural Earth"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 26; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Compromise with rounder polar corners than Natural Earth; polynomials in the latitude.
class MapNaturalEarthII : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Natural Earth II"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 27; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

MapProject* CreateRobinson();
MapProject* CreateEqualEarth();
MapProject* CreateNaturalEarth();
MapProject* CreateNaturalEarthII();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_POLYNOMIAL_H_
