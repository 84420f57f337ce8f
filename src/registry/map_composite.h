// Composite (interrupted) projections: pieces of other projections side by side on one plane.
//
// Each segment holds its own MapInstance, places that projection's map with an offset, a scale and
// a rotation, serves a latitude/longitude rectangle, and may cut shapes out of its map. Forward and
// Inverse answer with the first segment, in definition order, that accepts the point, so that the
// answer never depends on earlier calls. One object serves every holder of its type code and many
// threads at once: Forward and Inverse only read it (the cache of the last answering segment is
// per thread); Init and ReleaseSegments must not overlap them.
#ifndef KARTOVEL_REGISTRY_MAP_COMPOSITE_H_
#define KARTOVEL_REGISTRY_MAP_COMPOSITE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "projection/map_project.h"
#include "registry/map_instance.h"

class ProjectionRegistry;

namespace Projection {

// A rectangle, in the composite's map units, that every map point must lie in (limits included).
struct CompositeExtent {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// A shape cut out of a segment. Circle: (x[0], y[0]) centre, x[1] radius. Quadrilateral: four
// corners. Triangle: the first three corners.
struct SegmentExclusion {
  static constexpr std::int32_t kCircle = 1;
  static constexpr std::int32_t kQuadrilateral = 2;
  static constexpr std::int32_t kShapeMask = 0xFF;
  static constexpr std::int32_t kInverted = 0x1000;  // reject outside instead of inside

  double x[4] = {0, 0, 0, 0};
  double y[4] = {0, 0, 0, 0};
  std::int32_t shape = 0;

  // Strictly inside the circle; polygons by the even-odd rule with half-open edges (the left and
  // lower edges of an axis-parallel rectangle are inside, the right and upper ones outside).
  bool Contains(double px, double py) const;
  // True when the point is cut away: inside a plain exclusion, outside an inverted one.
  bool Rejects(double px, double py) const {
    return Contains(px, py) != ((shape & kInverted) != 0);
  }
};

struct CompositeSegment {
  MapInstance instance;
  std::vector<SegmentExclusion> exclusions;
  double offsetX = 0, offsetY = 0;  // composite map units
  double scaleX = 1, scaleY = 1;
  double rotation = 0;  // degrees, counter-clockwise
  double cosRotation = 1, sinRotation = 0;
  double cosInverse = 1, sinInverse = 0;
  // Degrees: longitudes (left, right) and latitudes (top, bottom) the segment serves, inclusive.
  double effectiveLeft = -180, effectiveTop = 90, effectiveRight = 180, effectiveBottom = -90;

  // Derives the four trigonometric fields from `rotation`.
  void UpdateRotation();
  bool Rejects(double px, double py) const;
};

class MapComposite : public MapProject {
 public:
  MapComposite() = default;
  ~MapComposite() override = default;

  const char* GetName() const override { return name.c_str(); }
  std::int32_t GetFlags() const override { return MAP_INTERRUPTED; }
  std::int32_t GetTypeCode() const override { return typeCode; }
  // Init is the base class's: centre and offsets with the centred latitude window. The segments
  // keep the parameters they were read with.
  // Adds the centre back, so Inverse undoes Forward for any centre. 0, or -1 when the point lies
  // outside an extent or no segment accepts it.
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  // 0, or -1 when no segment accepts the point or the first accepting segment places it outside an
  // extent.
  int Forward(double latitude, double longitude, double* x, double* y) override;
  // Forward and Inverse that also give the index (definition order) of the answering segment, so
  // that a sampler can tell the pieces of the map apart.
  int ForwardSegment(double latitude, double longitude, double* x, double* y, int* segment) const;
  int InverseSegment(double x, double y, double* latitude, double* longitude, int* segment) const;
  double GetUnitScale() const override { return 1.0 / unitDivisor; }
  // The box around every extent and the origin.
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override { return description; }

  void AddSegment(const CompositeSegment& segment);
  void AddExtent(const CompositeExtent& extent);
  const std::vector<CompositeExtent>& Extents() const { return extents; }
  const std::vector<std::unique_ptr<CompositeSegment>>& Segments() const { return segments; }

  // Gives every segment's projection back to `registry` (while module code is still loaded) and
  // drops the segments; the composite then accepts no point. Used when the registry is emptied.
  void ReleaseSegments(ProjectionRegistry& registry);

  std::string name;
  std::string description;
  std::int32_t typeCode = 0;
  double unitDivisor = 1;    // GetUnitScale is 1 / unitDivisor
  bool cacheEnabled = true;  // Forward tries the segment that answered last in this thread first
  double boundLeft = 0, boundTop = 0, boundRight = 0, boundBottom = 0;

 private:
  bool InsideExtents(double x, double y) const;
  // The segment's answer for a point in degrees (centre removed), before the composite's offsets.
  static bool SegmentForward(const CompositeSegment& s, double lat, double lon, double* x,
                             double* y);
  // Index of the first segment that accepts the point, or -1; `hint` is tried first.
  int FirstForward(double lat, double lon, std::size_t hint, double* x, double* y) const;

  std::vector<CompositeExtent> extents;
  std::vector<std::unique_ptr<CompositeSegment>> segments;
};

}  // namespace Projection

#endif  // KARTOVEL_REGISTRY_MAP_COMPOSITE_H_
