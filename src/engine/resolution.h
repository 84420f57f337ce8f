// How wide an equirectangular export must be to keep a source picture's resolution, and how large
// a map is.
#ifndef KARTOVEL_ENGINE_RESOLUTION_H_
#define KARTOVEL_ENGINE_RESOLUTION_H_

#include <cstdint>

#include "registry/map_instance.h"

// 2 pi x the source's pixels per radian along the meridian through the centre of projection (at
// the centre), rounded up to a multiple of 16: the export width at which the map's centre keeps
// its detail. `instance` describes the map on a sourceWidth x sourceHeight picture. 0 when the
// projection gives no point beside the centre or the sizes are empty.
std::int64_t NativeExportWidth(MapInstance& instance, int sourceWidth, int sourceHeight);

// How far the map of `instance` reaches from the picture's centre, in user units (the units of the
// offsets), over the whole globe sampled every degree: `x` to the left or right, `y` up or down,
// ignoring the scale and aspect. Polar caps that run off to infinity are left out, and so are
// points beyond 4 units (near a singularity). The scale 1 / x and the aspect y / x (times the
// scale) make the map fill its picture. False when no point of the globe could be placed.
bool MapReach(MapInstance& instance, double* x, double* y);

// True when the map of `instance` changes with its standard parallels (the conic types, and
// others that take a standard parallel, such as the cylindrical equal-area and Bonne maps).
bool UsesParallels(const MapInstance& instance);

#endif  // KARTOVEL_ENGINE_RESOLUTION_H_
