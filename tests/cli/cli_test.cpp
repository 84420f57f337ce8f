// kartovel-convert end to end: error reporting, files identical to the export job's, and a real
// Earth picture drawn into other projections and converted back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "engine/export.h"
#include "image/image_test_support.h"
#include "registry/map_settings.h"
#include "registry/registry_fixture.h"

namespace {

using test_support::Channel;
using test_support::ReadBytes;
using test_support::ScratchDir;

struct Outcome {
  int exitCode;
  std::string errors;  // what went to stderr
};

// Runs `program` (kartovel-convert, or a copy elsewhere) with `arguments` after the environment
// settings `environment`; at most 60 seconds, so that a hang fails instead of blocking the suite.
Outcome RunProgram(const std::string& program, const std::string& arguments, const ScratchDir& dir,
                   const std::string& environment = "") {
  const std::string errors = dir / "stderr.txt";
  // Under the address sanitizer a refused huge allocation must come back as a failure, as it does
  // without it, rather than abort the tool; the sanitizer's note about it is not the tool's.
  const std::string command =
      std::string("ASAN_OPTIONS=\"$ASAN_OPTIONS:allocator_may_return_null=1\" ") + environment +
      " timeout 60 '" + program + "' " + arguments + " 2>'" + errors + "' >'" +
      (dir / "stdout.txt") + "'";
  const int status = std::system(command.c_str());
  const auto bytes = ReadBytes(errors);
  std::string text(bytes.begin(), bytes.end());
  const std::size_t note = text.find("WARNING: AddressSanitizer failed to allocate");
  if (note != std::string::npos) {
    const std::size_t lineStart = text.rfind('\n', note) + 1;  // 0 for the first line
    text.erase(lineStart, text.find('\n', note) + 1 - lineStart);
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

Outcome Convert(const std::string& arguments, const ScratchDir& dir) {
  return RunProgram(KARTOVEL_CONVERT, arguments, dir);
}

// A test pattern of `width` x `height` in `map`, saved as dir/in.png: its path, or "" when it
// could not be made.
std::string PatternPicture(const ScratchDir& dir, int width, int height, VideoBuffer* map) {
  if (map->Create(width, height) != 0) return "";
  test_support::FillPattern(map);
  const std::string in = dir / "in.png";
  return map->Save(in) == 0 ? in : "";
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

using ConvertTest = BuiltinRegistryTest;

TEST_F(ConvertTest, FailuresAreOneLineOnStandardErrorWithANonZeroExit) {
  ScratchDir dir;
  VideoBuffer map;
  const std::string in = PatternPicture(dir, 8, 4, &map);
  ASSERT_FALSE(in.empty());
  const std::string out = dir / "out.png";
  struct {
    std::string arguments, message;
  } const cases[] = {
      {"'" + dir / "none.png" + "' " + out, "Unable to read image file " + dir / "none.png"},
      {in + " " + out + " --projection Nowhere", "Unknown projection Nowhere"},
      {in + " " + out + " --projection 21", "Unknown projection 21"},
      {in + " " + out + " --scale 1x", "Malformed number for --scale: 1x"},
      {in + " " + out + " --center 10", "Malformed number for --center: 10"},
      {in + " " + out + " --offset 1,nan", "Malformed number for --offset: 1,nan"},
      {in + " " + out + " --width -5", "Malformed number for --width: -5"},
      {in + " " + out + " --width 3", "Width must be at least 4 pixels"},
      {in + " " + out + " --width 4294967296", "Malformed number for --width: 4294967296"},
      // A width the export page accepts but no file format can hold.
      {in + " " + out + " --width 4294967295",
       "Cannot write file " + out + ": an image side cannot exceed 2147483647 pixels"},
      // Extents, CRSs and sidecars.
      {in + " " + out + " --extent 0,50,10,40", "Extent 0,50,10,40 has its south at or above"},
      {in + " " + out + " --extent 0,0,200,10", "Extent 0,0,200,10 lies outside"},
      {in + " " + out + " --extent 0.2,0,0.8,10 --width 360",
       "Extent 0.2,0,0.8,10 holds no pixel at width 360"},
      {in + " " + out + " --extent west", "Malformed extent west"},
      {in + " " + out + " --crs mars", "Unknown CRS mars"},
      {"--to-projection " + in + " " + out + " --world-file", "--extent, --crs and --world-file"},
      {in + " " + out + " --output-projection 9 --extent data", "--extent and --world-file"},
      {in + " " + dir / "noextension" + " --world-file", "--world-file needs an output name"},
      {"--to-projection " + in + " " + out + " --height 1", "Width and height must be at least 2"},
      {in + " '" + dir / "no/such/folder.png" + "'",
       "Cannot write file " + dir / "no/such/folder.png" + ": No such file or directory"},
      {in, "Expected INPUT and OUTPUT"},
      {"--list " + in, "--list takes no files or options"},
      // A cone the projection refuses is named, not silently replaced by the default one.
      {in + " " + out + " --projection 18 --parallels 30,-30",
       "Albers Equal-Area Conic refuses --parallels 30,-30"},
      {in + " " + out + " --projection 19 --parallels 0,0",
       "Equidistant Conic refuses --parallels 0,0"},
      {in + " " + out + " --resample cubic",
       "Unknown value for --resample: cubic (nearest, bilinear or bicubic)"},
      {in + " " + out + " --height 40",
       "--height belongs to --to-projection or --output-projection"},
      {in + " " + out + " --output-center 10,20", "--output-center belongs to --output-projection"},
      {in + " " + out + " --output-projection Nowhere", "Unknown output projection Nowhere"},
      {in + " " + out + " --output-projection 18 --output-parallels 30,-30",
       "Albers Equal-Area Conic refuses --output-parallels 30,-30"},
      {"--to-projection " + in + " " + out + " --output-projection 8",
       "--to-projection and --output-projection cannot be combined"},
      {"--to-projection " + in + " " + out + " --no-antialias",
       "--resample and --no-antialias apply to the conversion"},
  };
  for (const auto& c : cases) {
    const Outcome o = Convert(c.arguments, dir);
    EXPECT_NE(o.exitCode, 0) << c.arguments;
    EXPECT_EQ(o.errors.rfind(c.message, 0), 0u) << c.arguments << " said: " << o.errors;
    EXPECT_EQ(std::count(o.errors.begin(), o.errors.end(), '\n'), 1) << o.errors;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
  for (const std::string& wrong :
       {std::string(" --resample cubic"), std::string(" --no-antialias=1"),
        std::string(" --output-projection 20 --output-parallels 0,0")}) {
    EXPECT_EQ(Convert(in + " " + out + wrong, dir).exitCode, 2) << wrong;
  }
  EXPECT_FALSE(std::filesystem::exists(out));

  // Help wins wherever it stands, and goes to standard output.
  for (const std::string& arguments :
       {std::string("--help"), std::string("-h"), in + " --help --scale x"}) {
    const Outcome o = Convert(arguments, dir);
    EXPECT_EQ(o.exitCode, 0) << arguments;
    EXPECT_EQ(o.errors, "") << arguments;
  }
  // After "--" every argument is a file name, even one that looks like an option.
  const std::string dashed = dir / "--odd.bmp";
  const Outcome o = Convert("-- " + in + " '" + dashed + "'", dir);
  EXPECT_EQ(o.exitCode, 0) << o.errors;
  EXPECT_TRUE(std::filesystem::exists(dashed));
}

TEST_F(ConvertTest, WritesTheSameFileAsTheExportJobForTheSameSettings) {
  ScratchDir dir;
  VideoBuffer map;
  const std::string in = PatternPicture(dir, 90, 70, &map);
  ASSERT_FALSE(in.empty());

  // Set up in the order of the source projection page, with the numbers as its edits read
  // them: in single precision. The command line takes them north-positive, the instance holds
  // latitudes and the y offset negated.
  MapInstance m;
  ASSERT_EQ(m.Select(6), 0);
  m.scale = 0.8f;
  m.aspect = 0.7f;
  m.SetCenter(-12.5f, 40.1f);
  m.SetOffset(0.05f, -0.02f);
  m.SetParallels(-20, -50);
  for (const char* name : {"job.png", "job.bmp"}) {
    ASSERT_EQ(ExportEquirectangular(map, m, 101, dir / name), ExportResult::kOk);
    const std::string cli = dir / (std::string("cli-") + name);
    const Outcome o = Convert(in + " " + cli +
                                  " --projection Mercator --scale 0.8 --aspect 0.7"
                                  " --center 12.5,40.1 --offset 0.05,0.02 --parallels 20,50"
                                  " --width 101",
                              dir);
    ASSERT_EQ(o.exitCode, 0) << o.errors;
    EXPECT_EQ(o.errors, "");
    EXPECT_EQ(ReadBytes(cli), ReadBytes(dir / name)) << name;
  }
  VideoBuffer out;
  ASSERT_EQ(out.Load(dir / "cli-job.png"), 0);
  EXPECT_EQ(out.width, 101);
  EXPECT_EQ(out.height, 50);

  // Another kernel into another projection, whose options read as the source's do.
  MapInstance target;
  ASSERT_EQ(target.Select(20), 0);
  target.aspect = 0.5f;
  target.SetCenter(-30, 10);
  target.SetOffset(0.1f, -0.05f);
  target.SetParallels(-20, -50);
  ExportRequest cone;
  cone.width = 64;
  cone.height = 40;
  cone.path = dir / "cone.png";
  cone.sampling = {Kernel::kBicubic, false};
  cone.output = &target;
  ASSERT_EQ(ExportEquirectangular(map, m, cone), ExportResult::kOk);
  const Outcome o = Convert(in + " " + dir / "cli-cone.png" +
                                " --projection Mercator --scale 0.8 --aspect 0.7"
                                " --center 12.5,40.1 --offset 0.05,0.02 --parallels 20,50"
                                " --output-projection 'Lambert Conformal Conic' --output-aspect"
                                " 0.5 --output-center 30,10 --output-offset 0.1,0.05"
                                " --output-parallels 20,50 --width 64 --height 40"
                                " --resample bicubic --no-antialias",
                            dir);
  ASSERT_EQ(o.exitCode, 0) << o.errors;
  EXPECT_EQ(ReadBytes(dir / "cli-cone.png"), ReadBytes(dir / "cone.png"));
}

// What a shell command prints on standard output.
std::string Output(const std::string& command) {
  std::string text;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
      text.append(chunk, got);
    pclose(pipe);
  }
  return text;
}

// GDAL reads our georeference as meant: pixel centres at lon -180 + 360 c / W, lat 90 - 180 r / H,
// so the 64 x 32 grid's corner lies half a pixel (2.8125 degrees) out from -180, 90; tiles mosaic
// into the one-piece export.
TEST_F(ConvertTest, GdalPlacesGeoTiffsTilesAndWorldFilesOnTheGrid) {
  if (std::system("gdalinfo --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "gdalinfo is not installed (Debian package gdal-bin): georeference not checked";
  }
  ScratchDir dir;
  VideoBuffer map;
  const std::string in = PatternPicture(dir, 90, 45, &map);
  ASSERT_FALSE(in.empty());
  const auto convert = [&](const std::string& output, const std::string& options) {
    const Outcome o = Convert(in + " " + dir / output + " --aspect 0.5 --width 64 " + options, dir);
    EXPECT_EQ(o.exitCode, 0) << o.errors;
  };
  const auto info = [&](const std::string& file) { return Output("gdalinfo " + dir / file); };
  const std::string wholeOrigin = "Origin = (-182.812500000000000,92.812500000000000)";

  convert("whole.tif", "");
  std::string text = info("whole.tif");
  EXPECT_NE(text.find("Size is 64, 32"), std::string::npos) << text;
  EXPECT_NE(text.find(wholeOrigin), std::string::npos) << text;
  EXPECT_NE(text.find("Pixel Size = (5.625000000000000,-5.625000000000000)"), std::string::npos);
  EXPECT_NE(text.find("ID[\"EPSG\",4326]"), std::string::npos) << text;
  EXPECT_NE(text.find("ColorInterp=Alpha"), std::string::npos) << text;

  // Another planet, the eastern half: the window's corner is half a pixel west of 0.
  convert("mars.tif", "--crs sphere:3396190 --extent 0,-90,180,90");
  text = info("mars.tif");
  EXPECT_NE(text.find("Size is 32, 32"), std::string::npos) << text;
  EXPECT_NE(text.find("Origin = (-2.812500000000000,92.812500000000000)"), std::string::npos);
  EXPECT_NE(text.find("3396190"), std::string::npos) << text;

  // Two tiles side by side, mosaicked by GDAL, equal the one-piece export.
  convert("whole.png", "--world-file");
  convert("west.tif", "--extent -180,-90,0,90");
  convert("east.tif", "--extent 0,-90,180,90");
  ASSERT_EQ(std::system(("cd " + dir.path().string() +
                         " && gdalbuildvrt -q mosaic.vrt west.tif east.tif"
                         " && gdal_translate -q -of PNG mosaic.vrt mosaic.png")
                            .c_str()),
            0);
  EXPECT_NE(info("mosaic.vrt").find(wholeOrigin), std::string::npos);
  VideoBuffer whole, mosaic;
  ASSERT_EQ(whole.Load(dir / "whole.png"), 0);
  ASSERT_EQ(mosaic.Load(dir / "mosaic.png"), 0);
  ASSERT_EQ(mosaic.ByteCount(), whole.ByteCount());
  EXPECT_EQ(std::memcmp(mosaic.pixels, whole.pixels, whole.ByteCount()), 0);

  // The PNG's world file and .prj.
  const auto world = ReadBytes(dir / "whole.pgw");
  EXPECT_EQ(std::string(world.begin(), world.end()), "5.625\n0\n0\n-5.625\n-180\n90\n");
  EXPECT_NE(info("whole.png").find(wholeOrigin), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / "whole.prj"));

  // Bad extents are command-line errors.
  for (const char* extent : {"0,10,10,0", "0,0,0,10", "0.2,0,0.8,10"}) {
    EXPECT_EQ(Convert(in + " " + dir / "bad.tif" + " --width 360 --extent " + extent, dir).exitCode,
              2)
        << extent;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.tif"));
}

// With another output projection, GDAL reads the GeoTIFF's projected CRS (GeoTIFF's own keys for
// a cone, the ESRI text for Mollweide) and finds each point at the pixel where we drew it; a
// projection without a PROJ twin leaves a plain TIFF.
TEST_F(ConvertTest, GdalFindsPointsOfProjectedGeoTiffsWhereWeDrawThem) {
  if (std::system("gdaltransform --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "gdaltransform is not installed (Debian package gdal-bin): not checked";
  }
  ScratchDir dir;
  VideoBuffer map;
  const std::string in = PatternPicture(dir, 90, 45, &map);
  ASSERT_FALSE(in.empty());
  const struct {
    MapSettings output;
    const char* options;
    double radius;
  } cases[] = {
      {{8, 0, 30, 0, 0, 1, 0.5, {}, {}},
       "--output-projection Mollweide --output-center 0,30 --output-aspect 0.5 --crs sphere:3396190",
       3396190},
      {{20, 40, 10, 0.05, 0.02, 0.8, 0.7, 20.0, 50.0},
       "--output-projection 20 --output-center 40,10 --output-offset 0.05,0.02 --output-scale 0.8"
       " --output-aspect 0.7 --output-parallels 20,50",
       6378137},
  };
  for (const auto& c : cases) {
    const std::string out = dir / "projected.tif";
    const Outcome o = Convert(in + " " + out + " --width 80 --height 60 " + c.options, dir);
    ASSERT_EQ(o.exitCode, 0) << o.errors;
    MapInstance output;
    ASSERT_EQ(ApplySettings(c.output, &output), 0);
    const Placement place(output, 80, 60);
    char command[256];
    std::snprintf(command, sizeof command,
                  "printf '10 20\\n-60 -30\\n' | gdaltransform -i -t_srs '+proj=longlat +R=%.17g' %s",
                  c.radius, out.c_str());
    std::istringstream text(Output(command));
    for (const auto& p : {std::pair{20.0, 10.0}, {-30.0, -60.0}}) {
      double column = 0, row = 0, x, y;
      ASSERT_TRUE(text >> column >> row) << c.options;
      ASSERT_EQ(output.projection->Forward(StoredLatitude(p.first) * Projection::kDegToRad,
                                           p.second * Projection::kDegToRad, &x, &y),
                0);
      // GDAL counts from the corner: the centre of pixel (c, r) is at (c + 0.5, r + 0.5).
      EXPECT_NEAR(column - 0.5, place.X(x), 1e-6) << c.options;
      EXPECT_NEAR(row - 0.5, place.Y(y), 1e-6) << c.options;
      text.ignore(256, '\n');
    }
  }
  ASSERT_EQ(Convert(in + " " + dir / "pointy.tif" + " --width 80 --output-projection 14", dir).exitCode,
            0);
  EXPECT_EQ(Output("gdalinfo " + dir / "pointy.tif").find("Coordinate System is:"),
            std::string::npos);
}

// A settings file gives the file its options typed give; options typed after it win, and a line
// this version does not know is named on stderr without stopping the work.
TEST_F(ConvertTest, SettingsFileEqualsTheOptionsTyped) {
  ScratchDir dir;
  VideoBuffer map;
  const std::string in = PatternPicture(dir, 90, 70, &map);
  ASSERT_FALSE(in.empty());
  const std::string typed =
      " --projection 20 --scale 0.8 --aspect 0.7 --center 12.5,40.1 --offset 0.05,0.02"
      " --parallels 20,50 --width 101";
  ASSERT_EQ(Convert(in + " " + dir / "typed.png" + typed, dir).exitCode, 0);
  {
    std::FILE* file = std::fopen((dir / "map.kartovel").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(
        "# saved by hand\n--projection Lambert Conformal Conic\n--scale 0.8\n"
        "--aspect 0.7\n--center 12.5,40.1\n--offset 0.05,0.02\n--parallels 20,50\n"
        "--width 101\n--sharpen 2\n",
        file);
    std::fclose(file);
  }
  Outcome o =
      Convert("--settings " + dir / "map.kartovel" + " " + in + " " + dir / "file.png", dir);
  ASSERT_EQ(o.exitCode, 0) << o.errors;
  EXPECT_EQ(o.errors,
            dir / "map.kartovel" + ": ignored line 9: Unknown option --sharpen: --sharpen 2\n");
  EXPECT_EQ(ReadBytes(dir / "file.png"), ReadBytes(dir / "typed.png"));

  o = Convert(in + " " + dir / "wide.png" + " --width=64 --settings=" + dir / "map.kartovel", dir);
  ASSERT_EQ(o.exitCode, 0) << o.errors;
  VideoBuffer out;
  ASSERT_EQ(out.Load(dir / "wide.png"), 0);
  EXPECT_EQ(out.width, 64);

  o = Convert("--settings " + dir / "none.kartovel" + " " + in + " " + dir / "x.png", dir);
  EXPECT_EQ(o.exitCode, 2);
  EXPECT_EQ(o.errors, "Cannot read settings file " + dir / "none.kartovel" + "\n");
}

// Hostile inputs, outputs, sizes and modules: each refused with a line that says why, nothing
// written, nothing hung, nothing replaced that is not a regular file.
TEST_F(ConvertTest, HostileFilesSizesAndModulesAreRefusedWithTheReason) {
  ScratchDir dir;
  VideoBuffer map;
  ASSERT_EQ(map.Create(8, 4), 0);
  const std::string in = dir / "in.png", out = dir / "out.png";
  ASSERT_EQ(map.Save(in), 0);
  const auto bytes = ReadBytes(in);
  test_support::WriteBytes(dir / "cut.png", {bytes.begin(), bytes.end() - 20});
  // Found only while the export already runs on the rows read so far.
  auto damaged = bytes;
  damaged[damaged.size() - 33] ^= 0x55;  // the last byte of image data before the check sum
  test_support::WriteBytes(dir / "damaged.png", damaged);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "fifo", dir / "link-to-fifo.png");
  // A copy of the program with misbehaving modules beside it.
  const std::string program = dir / "kartovel-convert";
  std::filesystem::copy_file(KARTOVEL_CONVERT, program);
  for (const char* module : {"d_null_later.so", "e_forged_name.so"}) {
    std::filesystem::copy_file(std::string(KARTOVEL_HOSTILE_MODULE_DIR) + module, dir / module);
  }
  struct {
    std::string arguments, environment, message;
  } const cases[] = {
      {"'" + dir / "fifo" + "' " + out, "",
       "Unable to read image file " + dir / "fifo" + ": not a regular file"},
      {"'" + dir / "cut.png" + "' " + out, "",
       "Unable to read image file " + dir / "cut.png" + ": truncated"},
      {"'" + dir / "damaged.png" + "' " + out, "",
       "Unable to read image file " + dir / "damaged.png" + ": corrupt (IDAT: CRC error)"},
      {in + " '" + dir / "fifo" + "'", "",
       "Cannot write file " + dir / "fifo" + ": not a regular file"},
      {in + " '" + dir / "link-to-fifo.png" + "'", "",
       "Cannot write file " + dir / "link-to-fifo.png" + ": not a regular file"},
      // What the streamed export holds (a few bands and the source's marks) beyond the limit.
      {in + " " + out + " --width 100000", "KARTOVEL_MEMORY_LIMIT=10000000",
       "Not enough memory for an image of 100000 \u00d7 50000 pixels (needs 0.1 GiB)"},
      {"--to-projection " + in + " " + out + " --width 4294967295 --height 2", "",
       "Not enough memory for an image of 4294967295 \u00d7 2 pixels (needs 32.0 GiB)"},
      // Beyond the BMP format's 4 GiB: refused before the work, whatever memory there is.
      {in + " '" + dir / "out.bmp" + "' --width 65536", "KARTOVEL_MEMORY_LIMIT=100000000000",
       "Cannot write file " + dir / "out.bmp" + ": too large for a BMP file"},
      {in + " " + out + " --projection 204", "",
       "Projection 204 (Null Later) could not be created by its module"},
  };
  for (const auto& c : cases) {
    const Outcome o = RunProgram(program, c.arguments, dir, c.environment);
    EXPECT_EQ(o.exitCode, 1) << c.arguments;
    EXPECT_EQ(o.errors.rfind(c.message, 0), 0u) << c.arguments << " said: " << o.errors;
    EXPECT_EQ(std::count(o.errors.begin(), o.errors.end(), '\n'), 1) << o.errors;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(dir / "out.bmp"));
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo"));

  // A module's name cannot forge lines of --list: one line per type, three fields each.
  ASSERT_EQ(RunProgram(program, "--list", dir).exitCode, 0);
  const auto listed = ReadBytes(dir / "stdout.txt");
  const std::string list(listed.begin(), listed.end());
  EXPECT_NE(list.find("205\tForged  1 Equirectangular\t"), std::string::npos) << list;
  EXPECT_EQ(list.find("\n1\tEquirectangular"), std::string::npos) << list;
}

// The toolkit's own log lines about a damaged picture never reach the terminal.
TEST_F(ConvertTest, DamagedPicturesBringNoToolkitLogLines) {
  const std::string earth = KARTOVEL_EARTH_IMAGE;
  if (!std::filesystem::exists(earth)) GTEST_SKIP() << "no Earth picture at " << earth;
  ScratchDir dir;
  auto bytes = ReadBytes(earth);
  // Scan data overwritten in the middle (the end-of-image marker kept): decodable, with a warning.
  std::fill(bytes.begin() + bytes.size() / 2, bytes.begin() + bytes.size() / 2 + 2000, 0x55);
  test_support::WriteBytes(dir / "damaged.jpg", bytes);
  const Outcome o = Convert("'" + dir / "damaged.jpg" + "' '" + dir / "out.png" + "'", dir);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.errors, "");
}

// A north-up Earth picture drawn into a projection with --to-projection and converted back: the
// result matches the original (PSNR over the pixels that have a source).
TEST_F(ConvertTest, EarthPictureSurvivesTheWayIntoAProjectionAndBack) {
  const std::string earth = KARTOVEL_EARTH_IMAGE;
  if (!std::filesystem::exists(earth)) {
    GTEST_SKIP() << "no Earth picture at " << earth << " (Debian package xplanet-images)";
  }
  VideoBuffer original;
  ASSERT_EQ(original.Load(earth), 0);
  ASSERT_EQ(original.width, 2048);
  ASSERT_EQ(original.height, 1024);
  struct {
    int code;
    const char* name;
    double centerLat, centerLon, parallel1, parallel2;
  } const cases[] = {
      {7, "Miller Cylindrical", 0, 0, -50, -10},
      {8, "Mollweide", 0, 0, -50, -10},
      {9, "Orthographic", 30, 20, -50, -10},
      {20, "Lambert Conformal Conic", 0, 10, 20, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!registry().IsAvailable(c.code)) {
      std::printf("%s (type %d) is not registered in this build: not checked\n", c.name, c.code);
      continue;
    }
    MapInstance m;
    ASSERT_EQ(m.Select(c.code), 0);
    m.SetCenter(StoredLatitude(c.centerLat), c.centerLon);
    m.SetParallels(StoredLatitude(c.parallel1), StoredLatitude(c.parallel2));
    // Fit the map up to 80 degrees from the equator into the picture, with a small margin (the
    // far pole of a conic map lies at infinity).
    double xMax = 0, yMax = 0;
    for (int lat = -80; lat <= 80; lat += 2) {
      for (int lon = -180; lon < 180; lon += 2) {
        double x, y;
        if (m.projection->Forward(lat * Projection::kDegToRad, lon * Projection::kDegToRad, &x,
                                  &y) != 0) {
          continue;
        }
        xMax = std::max(xMax, std::fabs(x / m.unitFactor));
        yMax = std::max(yMax, std::fabs(y / m.unitFactor));
      }
    }
    const double scale = 0.98 / xMax;
    const double aspect = scale * yMax / 0.98 - 0.0001;
    const int width = 3072;  // half as fine again as the Earth picture
    const int height = std::clamp(static_cast<int>(width * yMax / xMax), 64, 4096);
    const std::string settings = " --projection " + std::to_string(c.code) + " --center " +
                                 Number(c.centerLat) + "," + Number(c.centerLon) + " --parallels " +
                                 Number(c.parallel1) + "," + Number(c.parallel2) + " --scale " +
                                 Number(scale) + " --aspect " + Number(aspect);

    ScratchDir dir;
    Outcome o =
        Convert("--to-projection " + earth + " " + dir / "map.png" + settings + " --width " +
                    std::to_string(width) + " --height " + std::to_string(height),
                dir);
    ASSERT_EQ(o.exitCode, 0) << o.errors;
    o = Convert(dir / "map.png" + " " + dir / "back.png" + settings + " --width 2048", dir);
    ASSERT_EQ(o.exitCode, 0) << o.errors;
    VideoBuffer back;
    ASSERT_EQ(back.Load(dir / "back.png"), 0);
    ASSERT_EQ(back.width, 2048);
    double squares = 0;
    long long samples = 0;
    for (int y = 0; y < back.height; ++y) {
      for (int x = 0; x < back.width; ++x) {
        const std::uint32_t got = back.GetPixel(x, y);
        if (got >> 24 != 0xFF) continue;
        const std::uint32_t want = original.GetPixel(x, y);
        for (int ch = 0; ch < 3; ++ch) {
          const double d = Channel(got, ch) - Channel(want, ch);
          squares += d * d;
          ++samples;
        }
      }
    }
    ASSERT_GT(samples, 3LL * 2048 * 1024 * 4 / 10) << "too few pixels came back";
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squares / samples));
    EXPECT_GE(psnr, 30.0);
    std::printf("%s: PSNR %.1f dB over %lld%% of the pixels\n", c.name, psnr,
                samples * 100 / (3LL * 2048 * 1024));
  }
}

// --recognize: a small Mollweide map drawn with --to-projection comes back with its settings on
// standard output (exit 0); noise is "not recognised" (exit 1); misused options exit 2.
TEST_F(ConvertTest, RecognizeExitCodes) {
  const std::string earth = KARTOVEL_EARTH_IMAGE;
  if (!std::filesystem::exists(earth)) {
    GTEST_SKIP() << "no Earth picture at " << earth << " (Debian package xplanet-images)";
  }
  ScratchDir dir;
  const std::string map = dir / "map.png";
  ASSERT_EQ(Convert("--to-projection " + earth + " " + map +
                        " --projection 8 --center 0,30 --aspect 0.5 --width 256 --height 128",
                    dir)
                .exitCode,
            0);
  const std::string lines = dir / "lines.txt";
  const int status = std::system(("'" + std::string(KARTOVEL_CONVERT) + "' --recognize " + map +
                                  " --projection 8 >'" + lines + "' 2>/dev/null")
                                     .c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto bytes = ReadBytes(lines);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("\t--projection 8 --center 0,"), std::string::npos) << text;

  VideoBuffer noise;
  ASSERT_EQ(noise.Create(256, 128), 0);
  test_support::FillPattern(&noise);
  const std::string in = dir / "noise.png";
  ASSERT_EQ(noise.Save(in), 0);
  struct {
    std::string arguments;
    int exitCode;
    std::string message;
  } const cases[] = {
      {"--recognize " + in + " --projection 8", 1, "Not recognised"},
      {"--recognize " + dir / "none.png", 1, "Unable to read image file"},
      {"--recognize " + in + " out.png", 2, "--recognize IMAGE takes no INPUT OUTPUT: out.png"},
      {"--recognize " + in + " --width 512", 2, "--width does not go with --recognize"},
      {"--recognize " + in + " --projection Nowhere", 2, "Unknown projection Nowhere"},
      {in + " out.png --all-types", 2, "--all-types belongs to --recognize"},
  };
  for (const auto& c : cases) {
    const Outcome o = Convert(c.arguments, dir);
    EXPECT_EQ(o.exitCode, c.exitCode) << c.arguments;
    EXPECT_EQ(o.errors.rfind(c.message, 0), 0u) << c.arguments << " said: " << o.errors;
  }
}

}  // namespace
