// The PROJ definition that computes the same map as one of our built-in projections: for
// georeferenced output in other projections and for the differential tests against PROJ.
#ifndef KARTOVEL_PROJECTION_PROJ_EQUIVALENT_H_
#define KARTOVEL_PROJECTION_PROJ_EQUIVALENT_H_

#include <cstdint>
#include <string>

namespace Projection {

struct ProjEquivalent {
  // PROJ definition on the unit sphere ("+proj=moll +R=1 +lon_0=30"); empty when the type has
  // no PROJ twin (composites, modules, our own inventions).
  std::string definition;
  // Our map units (offsets left out) are these factors times PROJ's: rounded constants, other
  // scalings.
  double xFactor = 1, yFactor = 1;
};

// The twin of built-in type `typeCode` initialised with this centre and these standard parallels
// (degrees, in the convention Init receives them; a type ignores what it does not use). Because
// the sphere is symmetric about the equator, the twin with the latitudes negated gives the same
// x and the negated y.
ProjEquivalent ProjEquivalentOf(std::int32_t typeCode, double centerLatDeg, double centerLonDeg,
                                double parallel1Deg, double parallel2Deg);

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_PROJ_EQUIVALENT_H_
