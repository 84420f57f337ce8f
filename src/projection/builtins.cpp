// Registration order of the built-in projections. Collisions are settled by order, so this order
// is part of the behaviour: never sort or regroup it.
#include "projection/builtins.h"

#include "projection/azimuthal.h"
#include "projection/conic.h"
#include "projection/cylindrical.h"
#include "projection/pointy.h"
#include "projection/polyconic.h"
#include "projection/polynomial.h"
#include "projection/pseudocylindrical.h"
#include "projection/transverse.h"
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
    {"MapRobinson", CreateRobinson},
    {"MapWinkelTripel", CreateWinkelTripel},
    {"MapEqualEarth", CreateEqualEarth},
    {"MapNaturalEarth", CreateNaturalEarth},
    {"MapNaturalEarthII", CreateNaturalEarthII},
    {"MapEckertIV", CreateEckertIV},
    {"MapEckertVI", CreateEckertVI},
    {"MapAitoff", CreateAitoff},
    {"MapKavrayskiyVII", CreateKavrayskiyVII},
    {"MapCylindricalEqualArea", CreateCylindricalEqualArea},
    {"MapGallStereographic", CreateGallStereographic},
    {"MapTransverseMercator", CreateTransverseMercator},
    {"MapCassini", CreateCassini},
    {"MapAmericanPolyconic", CreateAmericanPolyconic},
    {"MapBonne", CreateBonne},
    {"MapTimes", CreateTimes},
    {"MapNicolosiGlobular", CreateNicolosiGlobular},
};

}  // namespace

std::span<const BuiltinProjection> BuiltinProjections() { return kBuiltins; }

}  // namespace Projection
