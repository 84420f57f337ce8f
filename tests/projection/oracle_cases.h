// The table of projections compared with PROJ and round-tripped through Inverse.
// Adding a projection to both suites is one row in oracle_test.cpp (and its twin, if PROJ has
// one, one row in src/projection/proj_equivalent.cpp).
#ifndef KARTOVEL_TESTS_PROJECTION_ORACLE_CASES_H_
#define KARTOVEL_TESTS_PROJECTION_ORACLE_CASES_H_

#include <ostream>
#include <string>

#include "projection/map_project.h"

namespace oracle {

struct OracleCase {
  std::string label;  // test name: letters, digits and underscores
  Projection::ProjectionFactory create;
  // PROJ definition of the case's twin (ProjEquivalentOf); empty: no PROJ twin.
  std::string proj;
  double centerLatDeg = 0, centerLonDeg = 0;
  double parallel1Deg = 0, parallel2Deg = 0;
  double axisB = 1;  // semi-minor axis passed to Init (the semi-major axis is 1)
  // Our map units are these factors times PROJ's (rounded constants, other scalings).
  double xFactor = 1, yFactor = 1;
  // Grid of the comparison: latitudes in [minLatDeg, maxLatDeg]...
  double minLatDeg = -89, maxLatDeg = 89;
  // ...and points within this many degrees of the centre (great-circle), for azimuthal aspects.
  double maxDistanceDeg = 180;
  // Also latitudes within 0.5 degrees of the poles and longitudes within 0.5 degrees of the edge
  // meridians, where iterative inverses struggle.
  bool nearEdges = false;
  double nearestPoleGapDeg = 0.001;  // the closest of those latitudes to a pole
  double tolerance = 1e-9;           // forward against PROJ, map units
  double roundTripTolerance = 1e-9;  // Inverse(Forward(p)) against p, radians
};

// Test output names a case by its label instead of dumping its bytes.
inline void PrintTo(const OracleCase& c, std::ostream* os) { *os << c.label; }

}  // namespace oracle

#endif  // KARTOVEL_TESTS_PROJECTION_ORACLE_CASES_H_
