// Where a picture's pixels lie on the globe: the coordinate reference system and the pixel grid
// written into GeoTIFFs, world files and .prj files.
#ifndef KARTOVEL_IMAGE_GEO_REFERENCE_H_
#define KARTOVEL_IMAGE_GEO_REFERENCE_H_

#include <string>

// A geographic coordinate reference system in degrees, Greenwich meridian: WGS 84 (EPSG:4326), or
// a sphere of `radius` metres (other planets).
struct GeoCrs {
  enum class Kind { kWgs84, kSphere };
  Kind kind = Kind::kWgs84;
  double radius = 0;  // metres, kSphere only
};

// Reads "EPSG:4326" (any case) or "sphere:RADIUS" (metres, positive). False when malformed.
bool ParseGeoCrs(const std::string& text, GeoCrs* crs);

// A north-up grid of square-cornered pixels: the top-left corner of pixel (0, 0) and the size of a
// pixel, in the CRS's units (degrees; metres east and north with a projection). Pixel (c, r) covers west + c*pixelWidth ..
// west + (c+1)*pixelWidth and north - r*pixelHeight .. north - (r+1)*pixelHeight; its centre is
// half a pixel in from that corner.
struct GeoReference {
  GeoCrs crs;
  // A projected CRS: the PROJ definition of the projection in metres, on the sphere or ellipsoid
  // it names ("+proj=moll +R=6378137 +lon_0=30 +units=m"); empty for `crs` itself.
  std::string projection;
  double west = 0, north = 0;
  double pixelWidth = 0, pixelHeight = 0;
};

// The six lines of an ESRI world file (pixel sizes, rotations, centre of the top-left pixel).
std::string WorldFileText(const GeoReference& geo);
// The world file beside `imagePath`: the extension's first and last letters and "w" (.pgw, .bpw,
// .tfw); "" when the name has no extension.
std::string WorldFileName(const std::string& imagePath);
// The .prj text (ESRI WKT 1) of the CRS.
std::string PrjText(const GeoCrs& crs);
// `imagePath` with its extension replaced by ".prj" (or ".prj" appended).
std::string PrjFileName(const std::string& imagePath);

#endif  // KARTOVEL_IMAGE_GEO_REFERENCE_H_
