// Georeference texts: CRS names, world files and .prj files.
#include "image/geo_reference.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Text that reads back as the same double (17 significant digits, trailing zeros dropped).
std::string Exact(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

// Position of the extension's dot in the last path component, or npos.
std::size_t ExtensionDot(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
  return dot + 1 < path.size() ? dot : std::string::npos;
}

}  // namespace

bool ParseGeoCrs(const std::string& text, GeoCrs* crs) {
  if (strcasecmp(text.c_str(), "EPSG:4326") == 0) {
    *crs = GeoCrs{};
    return true;
  }
  if (strncasecmp(text.c_str(), "sphere:", 7) != 0) return false;
  const std::string number = text.substr(7);
  char* end = nullptr;
  const double radius = std::strtod(number.c_str(), &end);
  if (number.empty() || *end != '\0' || !std::isfinite(radius) || radius <= 0) return false;
  *crs = GeoCrs{GeoCrs::Kind::kSphere, radius};
  return true;
}

std::string WorldFileText(const GeoReference& geo) {
  // A world file names the centre of the top-left pixel, not its corner.
  return Exact(geo.pixelWidth) + "\n0\n0\n" + Exact(-geo.pixelHeight) + "\n" +
         Exact(geo.west + geo.pixelWidth / 2) + "\n" + Exact(geo.north - geo.pixelHeight / 2) +
         "\n";
}

std::string WorldFileName(const std::string& imagePath) {
  const std::size_t dot = ExtensionDot(imagePath);
  if (dot == std::string::npos) return "";
  const std::string extension = imagePath.substr(dot + 1);
  return imagePath.substr(0, dot + 1) + extension.front() + extension.back() + "w";
}

std::string PrjText(const GeoCrs& crs) {
  const std::string unit = "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";
  if (crs.kind == GeoCrs::Kind::kWgs84) {
    return "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,"
           "298.257223563]]," +
           unit;
  }
  const std::string r = Exact(crs.radius);
  return "GEOGCS[\"GCS_Sphere_" + r + "\",DATUM[\"D_Sphere_" + r + "\",SPHEROID[\"Sphere_" + r +
         "\"," + r + ",0.0]]," + unit;
}

std::string PrjFileName(const std::string& imagePath) {
  const std::size_t dot = ExtensionDot(imagePath);
  return (dot == std::string::npos ? imagePath : imagePath.substr(0, dot)) + ".prj";
}
