// Control-point files: our own lines of COLUMN ROW LATITUDE LONGITUDE, and the CSV `.points`
// files of GIS georeferencers.
#ifndef KARTOVEL_FIT_POINTS_FILE_H_
#define KARTOVEL_FIT_POINTS_FILE_H_

#include <string>
#include <vector>

#include "fit/fit.h"

namespace Fit {

// Reads points from `text`. Our format: one point a line, four numbers separated by blanks or
// commas, `#` starting a comment. A first line beginning `mapX,mapY,sourceX,sourceY` (after
// `#` lines) marks a georeferencer file: mapX is the longitude, mapY the latitude, sourceX the
// column and sourceY minus the row; rows whose `enable` column is 0 are skipped. kFitOk, or
// kBadCoordinate naming the line that is not a point.
int ParsePoints(const std::string& text, std::vector<ControlPoint>* points, std::string* reason);

// ParsePoints on a file's contents; kBadCoordinate also when it cannot be read.
int ReadPointsFile(const std::string& path, std::vector<ControlPoint>* points, std::string* reason);

}  // namespace Fit

#endif  // KARTOVEL_FIT_POINTS_FILE_H_
