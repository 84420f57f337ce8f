// Pseudocylindrical projections: sinusoidal, Mollweide, Wagner IV, Wagner VI, Eckert IV, Eckert VI,
// Kavrayskiy VII and Times. y depends on the latitude alone and x is the wrapped longitude
// difference times a factor shrinking towards the poles; the latitude window is fixed at +-pi/2
// and Init never rejects.
//
// All of them also offer the row fast path of RowForward: their per-latitude work (an iteration on
// an auxiliary angle for Mollweide, Wagner IV and the Eckerts, a cosine, tangent or square root for
// the others) is done once per row.
#ifndef KARTOVEL_PROJECTION_PSEUDOCYLINDRICAL_H_
#define KARTOVEL_PROJECTION_PSEUDOCYLINDRICAL_H_

#include "projection/map_project.h"
#include "projection/row_forward.h"
#include "projection/world_frame.h"

namespace Projection {

// The last step of a prepared row of the classes below and of polynomial.h: row.value[0] is x per
// radian of longitude difference, [1] y with the offset, [2] 0 when every longitude lands on the
// centre meridian, otherwise 1. The longitude difference is wrapped first, then scaled.
inline int PlaceInRow(const MapProject& p, const RowForward::Row& row, double longitude, double* x,
                      double* y) {
  if (row.status != 0) return row.status;
  const double dLon = row.value[2] == 0.0 ? 0.0 : WrapAngle(longitude - p.centerLon);
  *x = row.value[0] * dLon + p.offsetX;
  *y = row.value[1];
  return 0;
}

// A projection whose prepared rows PlaceInRow finishes, point by point or a whole row at once.
class PlacedRowProjection : public RowProjection<FixedWindowProjection> {
 public:
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const final {
    return PlaceInRow(*this, row, longitude, x, y);
  }
  void ForwardRow(const Row& row, const double* longitudes, std::size_t count, double* x, double* y,
                  int* status) const final {
    for (std::size_t i = 0; i < count; ++i) {
      status[i] = PlaceInRow(*this, row, longitudes[i], &x[i], &y[i]);
    }
  }
};

// Equal-area; the poles are points. Inverse rejects |y - y0| >= a pi/2 (latitude written only).
class MapSinusoidal : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Sinusoidal"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 10; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Equal-area with an elliptical outline. Forward returns -1 (nothing written) when its Newton
// iteration has not converged after 51 steps; Inverse clamps y to the poles instead of rejecting.
class MapMollweide : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Mollweide"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 8; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Equal-area with flat poles. Forward returns -1 (nothing written) after 31 Newton steps without
// convergence; Inverse returns -1 when either arcsine argument leaves [-1, 1].
class MapWagnerIV : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Wagner IV"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 13; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Compromise projection with pole lines half the equator's length. Inverse rejects
// |y - y0| >= a pi/2 (latitude written only).
class MapWagnerVI : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Wagner VI"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 22; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Equal-area with pole lines half the equator's length and rounded corners. The whole map is
// 2 pi Cx by 2 Cy (Cx = 2 / sqrt(pi (4 + pi)), Cy = 2 sqrt(pi / (4 + pi))), unit scale 1 / (2 pi
// Cx). Forward returns -1 (nothing written) when its auxiliary angle cannot be found (a latitude
// that is not a number); Inverse returns -1 with nothing written when |y - y0| > a Cy.
class MapEckertIV : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Eckert IV"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 28; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Equal-area with sinusoidal meridians and pole lines half the equator's length. Forward returns
// -1 (nothing written) after 31 Newton steps without convergence; Inverse returns -1 with nothing
// written when |y - y0| > a Cy pi/2 (Cy = sqrt(2 / (1 + pi/2))).
class MapEckertVI : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Eckert VI"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 29; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Compromise with equally spaced parallels (y = a lat) and elliptical meridians. Inverse returns
// -1 with only the latitude written when |y - y0| > a pi/2.
class MapKavrayskiyVII : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Kavrayskiy VII"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 31; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Compromise with straight pole lines, y = 1.70711 a tan(lat / 2). Inverse returns -1 with nothing
// written when |y - y0| > 1.70711 a (beyond the pole lines).
class MapTimes : public PlacedRowProjection {
 public:
  const char* GetName() const override { return "Times"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 38; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
};

// Fills a row of status 0 for x factor `perRadian` and y `y` on the unit sphere: both scaled by the
// radius, y offset added.
void FillRow(const MapProject& p, double perRadian, double y, RowForward::Row* row);

MapProject* CreateSinusoidal();
MapProject* CreateMollweide();
MapProject* CreateWagnerIV();
MapProject* CreateWagnerVI();
MapProject* CreateEckertIV();
MapProject* CreateEckertVI();
MapProject* CreateKavrayskiyVII();
MapProject* CreateTimes();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_PSEUDOCYLINDRICAL_H_
