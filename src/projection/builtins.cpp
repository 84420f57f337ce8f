// Registration order of the built-in projections. Collisions are settled by order, so this order
// is part of the behaviour: never sort or regroup it.
#include "projection/builtins.h"

#include "projection/azimuthal.h"
#include "projection/conic.h"
#include "projection/cylindrical.h"
#include "projection/pointy.h"
#include "projection/pseudocylindrical.h"
#include "projection/world_oval.h"

namespace Projection {
namespace {

constexpr BuiltinProjection kBuiltins[] = {
    {"MapAzimuthalEquidistant", CreateAzimuthalEquidistant},
    {"MapEquirectangular", CreateEquirectangular},
    {"MapGnomonic", CreateGnomonic},
    {"MapHammer", CreateHammer},
    {"MapLambertAzimuthalEqualArea", CreateLambertAzimuthalEqualArea},
    {"MapMercator", CreateMercator},
    {"MapMillerCylindrical", CreateMillerCylindrical},
    {"MapMollweide", CreateMollweide},
    {"MapOrthographic", CreateOrthographic},
    {"MapSinusoidal", CreateSinusoidal},
    {"MapStereographic", CreateStereographic},
    {"MapVanDerGrinten", CreateVanDerGrinten},
    {"MapWagnerIV", CreateWagnerIV},
    {"MapPointy", CreatePointy},
    {"MapWagnerVI", CreateWagnerVI},
    {"MapWagnerVII", CreateWagnerVII},
    {"MapAlbersEqualAreaConic", CreateAlbersEqualAreaConic},
    {"MapEquidistantConic", CreateEquidistantConic},
    {"MapLambertConformalConic", CreateLambertConformalConic},
};

}  // namespace

std::span<const BuiltinProjection> BuiltinProjections() { return kBuiltins; }

}  // namespace Projection
