// Pseudocylindrical projections: sinusoidal, Mollweide, Wagner IV and Wagner VI. y depends on the
// latitude alone and x is the wrapped longitude difference times a factor shrinking towards the
// poles; the latitude window is fixed at +-pi/2 and Init never rejects.
//
// All four also offer the row fast path of RowForward: their per-latitude work (a Newton iteration
// for Mollweide and Wagner IV, a cosine or square root for the others) is done once per row.
#ifndef KARTOVEL_PROJECTION_PSEUDOCYLINDRICAL_H_
#define KARTOVEL_PROJECTION_PSEUDOCYLINDRICAL_H_

#include "projection/map_project.h"
#include "projection/world_frame.h"
#include "projection/row_forward.h"

namespace Projection {

// Equal-area; the poles are points. Inverse rejects |y - y0| >= a pi/2 (latitude written only).
class MapSinusoidal : public RowProjection<FixedWindowProjection> {
 public:
  const char* GetName() const override { return "Sinusoidal"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 10; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;
};

// Equal-area with an elliptical outline. Forward returns -1 (nothing written) when its Newton
// iteration has not converged after 51 steps; Inverse clamps y to the poles instead of rejecting.
class MapMollweide : public RowProjection<FixedWindowProjection> {
 public:
  const char* GetName() const override { return "Mollweide"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 8; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;
};

// Equal-area with flat poles. Forward returns -1 (nothing written) after 31 Newton steps without
// convergence; Inverse returns -1 when either arcsine argument leaves [-1, 1].
class MapWagnerIV : public RowProjection<FixedWindowProjection> {
 public:
  const char* GetName() const override { return "Wagner IV"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 13; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;
};

// Compromise projection with pole lines half the equator's length. Inverse rejects
// |y - y0| >= a pi/2 (latitude written only).
class MapWagnerVI : public RowProjection<FixedWindowProjection> {
 public:
  const char* GetName() const override { return "Wagner VI"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 22; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;
};

MapProject* CreateSinusoidal();
MapProject* CreateMollweide();
MapProject* CreateWagnerIV();
MapProject* CreateWagnerVI();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_PSEUDOCYLINDRICAL_H_
