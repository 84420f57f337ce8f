// The graticule of the source view: where the chosen projection puts parallels and meridians.
#ifndef KARTOVEL_APP_GRATICULE_H_
#define KARTOVEL_APP_GRATICULE_H_

#include <QPointF>
#include <QString>
#include <vector>

#include "registry/map_instance.h"

// One parallel or meridian: its runs of consecutive points where Forward succeeded, in pixels of
// a width x height picture (x right, y down), placed with the mapping Reproject uses for a source
// of that size.
struct GraticuleLine {
  bool parallel = true;
  double degrees = 0;  // the parallel's latitude (north-positive) or the meridian's longitude
  std::vector<std::vector<QPointF>> runs;
};

// Parallels from the south pole to the north pole every `spacing` degrees (points every spacing/4
// degrees of longitude, at most 7.5), then meridians from -180 to 180 (points every spacing/4 of
// latitude, at most 7.5); each broken where Forward fails. `spacing` divides 180 (30, 15, 10, 5).
// `instance` must hold a projection.
std::vector<GraticuleLine> GraticuleLines(MapInstance& instance, int width, int height,
                                          double spacing = 30);

// "30°N", "0°", "45°W": a line's label.
QString GraticuleLabel(const GraticuleLine& line);

#endif  // KARTOVEL_APP_GRATICULE_H_
