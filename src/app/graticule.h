// The yellow graticule of the source view: where the chosen projection puts parallels and
// meridians.
#ifndef KARTOVEL_APP_GRATICULE_H_
#define KARTOVEL_APP_GRATICULE_H_

#include <QPoint>
#include <cstdint>
#include <vector>

#include "image/video_buffer.h"
#include "registry/map_instance.h"

inline constexpr std::uint32_t kGraticuleColour = 0x0000FFFF;  // yellow

// The runs of one graticule line: consecutive points where Forward succeeded, in buffer pixels of a
// width x height picture, placed with the mapping Reproject uses for a source of that size.
using GraticuleRuns = std::vector<std::vector<QPoint>>;

// Parallels at -90, -60 ... 90 degrees (49 points each, longitude step 7.5) followed by meridians
// at -180, -150 ... 180 degrees (25 points each, latitude step 7.5); every line broken where
// Forward fails. `instance` must hold a projection.
std::vector<GraticuleRuns> GraticuleLines(MapInstance& instance, int width, int height);

// Draws GraticuleLines over `display` in kGraticuleColour. Does nothing on an empty buffer.
void DrawGraticule(VideoBuffer& display, MapInstance& instance);

#endif  // KARTOVEL_APP_GRATICULE_H_
