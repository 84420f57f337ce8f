// Registration order of the built-in projections. Collisions are settled by order, so this order
// is part of the behaviour: never sort or regroup it.
#include "projection/builtins.h"

#include "projection/cylindrical.h"

namespace Projection {
namespace {

constexpr BuiltinProjection kBuiltins[] = {
    {"MapEquirectangular", CreateEquirectangular},
    {"MapMercator", CreateMercator},
    {"MapMillerCylindrical", CreateMillerCylindrical},
};

}  // namespace

std::span<const BuiltinProjection> BuiltinProjections() { return kBuiltins; }

}  // namespace Projection
