// kartovel-convert: the command-line face of Kartovel, making the same files as the wizard.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "registry/projection_registry.h"

namespace {

constexpr char kUsage[] =
    "kartovel-convert: turns a world map drawn in one projection into an equirectangular\n"
    "picture, exactly as the Kartovel wizard exports it, or draws one in a projection.\n"
    "\n"
    "usage: kartovel-convert [options] INPUT OUTPUT\n"
    "       kartovel-convert --to-projection [options] INPUT OUTPUT\n"
    "       kartovel-convert --fit IMAGE [--points FILE] [--rank] [options]\n"
    "       kartovel-convert --recognize IMAGE [--all-types] [options]\n"
    "       kartovel-convert --list\n"
    "       kartovel-convert --help\n"
    "\n"
    "  INPUT OUTPUT            reproject the map INPUT (PNG, BMP, JPEG, GIF, ...) into an\n"
    "                          equirectangular OUTPUT of W x W/2 pixels: a PNG when the name\n"
    "                          ends in .png (RGB where every pixel is opaque, else RGBA), a\n"
    "                          GeoTIFF for .tif or .tiff, otherwise a 32-bit BMP; pixels\n"
    "                          without a source are magenta with alpha 0\n"
    "                          (with --output-projection: W x H in that projection)\n"
    "  --to-projection         the reverse: draw the equirectangular INPUT as a W x H map in\n"
    "                          the projection, so that converting it back gives INPUT again\n"
    "  --recognize IMAGE       find the projection and settings of an Earth map from the picture\n"
    "                          alone: up to five lines score<TAB>options, best first, the\n"
    "                          options reproducing the match before INPUT OUTPUT; the setting\n"
    "                          options given are held; exit 1 when not recognised\n"
    "  --all-types             with --recognize: modules and composites too\n"
    "  --list                  one line per projection type: code<TAB>name<TAB>type words\n"
    "  --fit IMAGE             find the settings of the map IMAGE: from its outline, or from\n"
    "                          control points with --points; settings given as options stay\n"
    "                          as given; without --projection every type is tried and the\n"
    "                          best taken. Prints the settings as options, the quality\n"
    "                          (rms px or outline IoU), then COLUMN ROW DX DY per point\n"
    "  --points FILE           control points, one a line: COLUMN ROW LATITUDE LONGITUDE\n"
    "                          (pixels from the top-left corner, whose pixel centre is 0.5 0.5),\n"
    "                          or a GIS georeferencer's .points file\n"
    "  --rank                  with --fit: every type, best first: code, name, rms or IoU,\n"
    "                          settings, separated by tabs\n"
    "\n"
    "The map, as on the wizard's projection page (centre, offset, scale and aspect are taken\n"
    "at single precision, as the page's edits take them):\n"
    "  --projection NAME|CODE  type code or exact name from --list (default 2, equirectangular)\n"
    "  --center LAT,LON        centre of projection, degrees (default 0,0)\n"
    "  --offset X,Y            offset in user units, right and up (default 0,0)\n"
    "  --scale S               size of the map: at 1 the world's width spans the picture's\n"
    "                          width (default 1)\n"
    "  --aspect A              vertical size is S / (A + 0.0001): at 0.5 and scale 1 the\n"
    "                          world's height spans the picture's height (default 1)\n"
    "  --parallels P1,P2       standard parallels of conic projections, degrees (default 20,50)\n"
    "  --width W               output width in pixels, at least 4 (default 1024)\n"
    "  --height H              output height, with --to-projection or --output-projection\n"
    "                          only (default W/2)\n"
    "  --point COL,ROW,LAT,LON a control point: picture pixel (from the top left) and the place\n"
    "                          it shows, degrees; repeat for more points\n"
    "  --settings FILE         read options from FILE first, one per line, # comments (the\n"
    "                          wizard saves such files); options typed here override them\n"
    "\n"
    "Sampling of the conversion:\n"
    "  --resample KERNEL       nearest (exact source colours), bilinear (default) or bicubic\n"
    "  --no-antialias          sample one point per pixel even where the picture is shrunk\n"
    "\n"
    "The output map, when it is not equirectangular (options as for the source map):\n"
    "  --output-projection NAME|CODE, --output-center LAT,LON, --output-offset X,Y,\n"
    "  --output-scale S, --output-aspect A, --output-parallels P1,P2\n"
    "\n"
    "The equirectangular export (pixel centres at lon -180 + 360 c/W, lat 90 - 180 r/H):\n"
    "  --extent W,S,E,N        only the pixels with W <= lon < E and S < lat <= N (degrees;\n"
    "                          W > E crosses the date line), on the whole world's grid\n"
    "  --extent data           only the box of pixels the map covers\n"
    "  --crs CRS               EPSG:4326 (default) or sphere:RADIUS (metres) for a GeoTIFF\n"
    "                          and the .prj; with --output-projection, the sphere of the\n"
    "                          GeoTIFF's projected CRS (WGS 84's semi-major axis by default)\n"
    "  --world-file            also a world file (.pgw, .bpw, .tfw) and a .prj beside OUTPUT\n"
    "\n"
    "Latitudes are north-positive (--center 30,20 is 30N 20E) and a positive offset moves\n"
    "the map right and up in the picture.\n"
    "Exit status: 0 done, 1 the conversion failed or nothing fits, 2 the command line or the\n"
    "points are wrong.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  const bool list = args.size() == 1 && args[0] == "--list";
  Settings settings;
  std::string error;
  if (!list && !ParseArguments(args, &settings, &error)) return Fail(kBadUsage, error);
  for (const std::string& line : settings.ignoredLines) {
    std::fprintf(stderr, "%s: ignored %s\n", settings.settingsFile.c_str(), line.c_str());
  }

  ProjectionRegistry& registry = GetProjectionRegistry();
  registry.LoadAll(ExecutableDirectory());
  const int result = list                          ? ListProjections()
                     : !settings.fit.empty()       ? FitCommand(settings)
                     : !settings.recognize.empty() ? Recognize(settings)
                                                   : Convert(settings);
  registry.UnloadAll();
  return result;
}
