// One chosen projection with the user's parameters: centre and parallels in degrees, offsets in
// map units (shown to the user in user units = map units / unitFactor), scale and aspect factors.
//
// Every setter ends by re-initialising the held projection, so the projection always reflects the
// stored parameters. Scale and aspect are never passed to the projection: the reprojection engine
// applies them (horizontal extent `scale`, vertical `scale / (aspect + 0.0001)`).
// Used from the user-interface thread only.
#ifndef KARTOVEL_REGISTRY_MAP_INSTANCE_H_
#define KARTOVEL_REGISTRY_MAP_INSTANCE_H_

#include <cstdint>
#include <string>

#include "projection/map_project.h"

class MapInstance {
 public:
  // What SetOffset stores for an x offset of 0 (user units), which the projections refuse; shown
  // to users as 0.
  static constexpr double kZeroOffsetX = 0.00001;

  MapInstance();
  // A copy selects its own object of the same type (a composite type shares the registry's).
  MapInstance(const MapInstance& other);
  MapInstance& operator=(const MapInstance& other);
  ~MapInstance();

  // 0 when `code` gave a projection; -1 when it fell back to the equirectangular projection.
  int Select(int code);
  int SelectByName(const std::string& name);
  // Gives the projection back to the registry; holds none afterwards.
  void Release();
  // Re-initialises the held projection from the stored parameters (selecting typeCode if none).
  // Returns the projection's Init result: non-zero when it refused the parameters and kept its
  // previous constants (a degenerate cone, say); -1 when no projection could be selected.
  int Apply();

  // Degrees. Wraps both into [-180, 180], folds the latitude over the poles and clamps it to
  // +-89.999 (single precision). Non-finite values become 0; huge ones are reduced by remainder.
  int SetCenter(double latitude, double longitude);
  void GetCenter(double* latitude, double* longitude) const;
  // User units; an x of exactly 0 becomes 0.00001.
  int SetOffset(double x, double y);
  void GetOffset(double* x, double* y) const;
  // Non-zero when the projection refused them (it keeps its previous cone).
  int SetParallels(double first, double second);
  void GetParallels(double* first, double* second) const;
  int SetScale(double value);
  double GetScale() const { return scale; }
  int SetAspect(double value);
  double GetAspect() const { return aspect; }
  // Horizontal and vertical extent factors.
  void GetAxes(double* horizontal, double* vertical) const;

  std::int32_t GetTypeCode();
  const char* GetName();
  std::int32_t GetFlags();

  Projection::MapProject* projection = nullptr;  // given back through the registry
  std::int32_t typeCode = 2;
  double centerLat = 0;     // degrees
  double centerLon = 0;     // degrees
  double offsetX = 0.0001;  // map units
  double offsetY = 0;       // map units
  // Degrees, stored convention: the defaults are 20 N and 50 N, a cone for the northern middle
  // latitudes of a north-up map.
  double parallel1 = -20;
  double parallel2 = -50;
  double scale = 1;
  double aspect = 1;
  double unitFactor = 1;  // map units per user unit: 1 / GetUnitScale of the projection

 private:
  void CopyParameters(const MapInstance& other);
  int InitProjection();
  Projection::MapProject* Held();
};

#endif  // KARTOVEL_REGISTRY_MAP_INSTANCE_H_
