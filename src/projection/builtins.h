// The built-in projection types, in their fixed registration order. The registry, the tests and
// the command-line list all walk this one table; adding a projection is one row in builtins.cpp.
#ifndef KARTOVEL_PROJECTION_BUILTINS_H_
#define KARTOVEL_PROJECTION_BUILTINS_H_

#include <span>

#include "projection/map_project.h"

namespace Projection {

struct BuiltinProjection {
  const char* className;  // for test names and diagnostics
  ProjectionFactory create;
};

// Every built-in creation function, in registration order.
std::span<const BuiltinProjection> BuiltinProjections();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_BUILTINS_H_
