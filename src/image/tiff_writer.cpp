// The streamed GeoTIFF writer: RGBA with the alpha as an extra sample, 256 x 256 tiles compressed
// with deflate and the horizontal predictor, BigTIFF when the pixels alone pass 4 GiB, and the
// georeference as GeoTIFF tags (libgeotiff).
//
// Tiles are compressed on all cores (libdeflate, one zlib stream per tile as TIFF stores them) and
// handed to libtiff already compressed.
#include <geotiff/geo_normalize.h>
#include <geotiff/geotiffio.h>
#include <geotiff/xtiffio.h>
#include <libdeflate.h>
#include <proj.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/band_writer.h"

namespace ImageFiles {

namespace {

constexpr std::int64_t kTile = kTiffTile;
// Level 6 of libdeflate: measured on Earth maps, files a third smaller than level 1 at twice its
// time, still faster than zlib's level 1.
constexpr int kDeflateLevel = 6;

// libtiff reports through these; the writer's results carry the failure instead.
void Quiet(const char*, const char*, va_list) {}

class TiffBandWriter final : public BandWriter {
 public:
  TiffBandWriter(std::int64_t width, std::int64_t height) : width_(width), height_(height) {}
  ~TiffBandWriter() override {
    if (tiff_) XTIFFClose(tiff_);
  }

  bool Start(std::FILE* file, const GeoReference* geo) {
    TIFFSetErrorHandler(Quiet);
    TIFFSetWarningHandler(Quiet);
    // Classic TIFF addresses 4 GiB; compressed tiles are smaller than the pixels, but not surely.
    const bool big = static_cast<std::uint64_t>(width_) * height_ * 4 > 0xF0000000u;
    // libtiff closes the descriptor it is given; the caller's stays open for flushing.
    const int fd = dup(fileno(file));
    if (fd < 0) return false;
    tiff_ = XTIFFFdOpen(fd, "output", big ? "w8" : "w");
    if (!tiff_) {
      close(fd);
      return false;
    }
    const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    bool ok = TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width_)) &&
              TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height_)) &&
              TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, 4) &&
              TIFFSetField(tiff_, TIFFTAG_EXTRASAMPLES, 1, &extra) &&
              TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
              TIFFSetField(tiff_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
              TIFFSetField(tiff_, TIFFTAG_TILEWIDTH, static_cast<std::uint32_t>(kTile)) &&
              TIFFSetField(tiff_, TIFFTAG_TILELENGTH, static_cast<std::uint32_t>(kTile)) &&
              TIFFSetField(tiff_, TIFFTAG_SOFTWARE, "Kartovel");
    if (ok && geo) ok = WriteGeoReference(*geo);
    return ok;
  }

  // Rows of tiles: every band but the last must bring a multiple of the tile height.
  bool WriteBand(const VideoBuffer& band, std::int64_t rows) override {
    if (!tiff_ || rows <= 0 || written_ + rows > height_) return false;
    for (std::int64_t top = 0; top < rows; top += kTile) {
      const std::int64_t count = std::min(kTile, rows - top);
      if (count < kTile && written_ + count != height_) return false;
      if (!WriteTileRow(band, top, count)) return false;
      written_ += count;
    }
    return true;
  }

  bool Finish() override {
    if (!tiff_ || written_ != height_) return false;
    const bool ok = TIFFWriteDirectory(tiff_) == 1;
    XTIFFClose(tiff_);
    tiff_ = nullptr;
    return ok;
  }

 private:
  // Rows top .. top + rows - 1 of the band (rows <= kTile) as the next row of tiles, compressed
  // on all cores.
  bool WriteTileRow(const VideoBuffer& band, std::int64_t top, std::int64_t rows) {
    const std::int64_t across = (width_ + kTile - 1) / kTile;
    std::vector<std::vector<std::uint8_t>> tiles(across);
    bool ok = true;
#pragma omp parallel reduction(&& : ok)
    {
      libdeflate_compressor* compressor = libdeflate_alloc_compressor(kDeflateLevel);
      std::vector<std::uint8_t> raw(kTile * kTile * 4);
      ok = compressor != nullptr;
#pragma omp for schedule(dynamic)
      for (std::int64_t t = 0; t < across; ++t) {
        if (!ok) continue;
        FillTile(band, top, rows, t * kTile, raw.data());
        std::vector<std::uint8_t>& out = tiles[t];
        out.resize(libdeflate_zlib_compress_bound(compressor, raw.size()));
        const std::size_t size =
            libdeflate_zlib_compress(compressor, raw.data(), raw.size(), out.data(), out.size());
        out.resize(size);
        ok = size > 0;
      }
      if (compressor) libdeflate_free_compressor(compressor);
    }
    if (!ok) return false;
    for (std::int64_t t = 0; t < across; ++t) {
      const std::uint32_t index = TIFFComputeTile(tiff_, static_cast<std::uint32_t>(t * kTile),
                                                  static_cast<std::uint32_t>(written_), 0, 0);
      if (TIFFWriteRawTile(tiff_, index, tiles[t].data(), static_cast<tmsize_t>(tiles[t].size())) <
          0) {
        return false;
      }
    }
    return true;
  }

  // The tile at column `left` of band rows top .. top + rows - 1 as RGBA with the horizontal
  // predictor applied (each byte less the same sample of the pixel to its left); zeros beyond
  // the picture.
  void FillTile(const VideoBuffer& band, std::int64_t top, std::int64_t rows, std::int64_t left,
                std::uint8_t* tile) const {
    std::memset(tile, 0, kTile * kTile * 4);
    const std::int64_t columns = std::min(kTile, width_ - left);
    for (std::int64_t y = 0; y < rows; ++y) {
      const std::uint8_t* in =
          band.pixels +
          ((static_cast<std::int64_t>(band.height) - 1 - top - y) * band.width + left) * 4;
      std::uint8_t* out = tile + y * kTile * 4;
      ToRgba(in, columns, out);
      for (std::int64_t i = kTile * 4 - 1; i >= 4; --i) out[i] -= out[i - 4];
    }
  }

  // A projection that neither GeoTIFF's keys nor PROJ's ESRI text can state leaves a plain TIFF.
  bool WriteGeoReference(const GeoReference& geo) {
    GTIF* keys = GTIFNew(tiff_);
    if (!keys) return false;
    if (geo.projection.empty()) {
      GTIFKeySet(keys, GTModelTypeGeoKey, TYPE_SHORT, 1, ModelTypeGeographic);
      GTIFKeySet(keys, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
      SetGeographicKeys(keys, geo.crs);
    } else if (!SetProjectedKeys(keys, geo)) {
      GTIFFree(keys);
      return true;
    }
    double scale[3] = {geo.pixelWidth, geo.pixelHeight, 0};
    // Raster point (0, 0), the top-left corner of the first pixel, is the corner of the grid.
    double tiepoint[6] = {0, 0, 0, geo.west, geo.north, 0};
    const bool ok = TIFFSetField(tiff_, TIFFTAG_GEOPIXELSCALE, 3, scale) &&
                    TIFFSetField(tiff_, TIFFTAG_GEOTIEPOINTS, 6, tiepoint) &&
                    GTIFWriteKeys(keys) != 0;
    GTIFFree(keys);
    return ok;
  }

  // The geographic CRS in degrees: WGS 84, or a sphere.
  static void SetGeographicKeys(GTIF* keys, const GeoCrs& crs) {
    GTIFKeySet(keys, GeogAngularUnitsGeoKey, TYPE_SHORT, 1, Angular_Degree);
    if (crs.kind == GeoCrs::Kind::kWgs84) {
      GTIFKeySet(keys, GeographicTypeGeoKey, TYPE_SHORT, 1, GCS_WGS_84);
      return;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Sphere R=%.17g m", crs.radius);
    GTIFKeySet(keys, GeographicTypeGeoKey, TYPE_SHORT, 1, KvUserDefined);
    GTIFKeySet(keys, GeogCitationGeoKey, TYPE_ASCII, 0, name);
    GTIFKeySet(keys, GeogGeodeticDatumGeoKey, TYPE_SHORT, 1, KvUserDefined);
    GTIFKeySet(keys, GeogPrimeMeridianGeoKey, TYPE_SHORT, 1, PM_Greenwich);
    GTIFKeySet(keys, GeogEllipsoidGeoKey, TYPE_SHORT, 1, KvUserDefined);
    GTIFKeySet(keys, GeogSemiMajorAxisGeoKey, TYPE_DOUBLE, 1, crs.radius);
    GTIFKeySet(keys, GeogSemiMinorAxisGeoKey, TYPE_DOUBLE, 1, crs.radius);
  }

  // GeoTIFF's own keys where they can state the projection (transverse Mercator, the conics,
  // the azimuthals, ...); otherwise the ESRI text of the CRS in the projected citation, as GDAL
  // writes and reads projections that GeoTIFF has no code for (Mollweide, Winkel Tripel, ...).
  static bool SetProjectedKeys(GTIF* keys, const GeoReference& geo) {
    if (GTIFSetFromProj4(keys, geo.projection.c_str())) {
      // It leaves the axes of a sphere given as +R at 0.
      GTIFKeySet(keys, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
      SetGeographicKeys(keys, geo.crs);
      return true;
    }
    PJ_CONTEXT* context = proj_context_create();
    PJ* crs = proj_create(context, (geo.projection + " +type=crs").c_str());
    const char* wkt = crs ? proj_as_wkt(context, crs, PJ_WKT1_ESRI, nullptr) : nullptr;
    const std::string citation = wkt ? std::string("ESRI PE String = ") + wkt : "";
    proj_destroy(crs);
    proj_context_destroy(context);
    if (citation.empty()) return false;
    GTIFKeySet(keys, GTModelTypeGeoKey, TYPE_SHORT, 1, KvUserDefined);
    GTIFKeySet(keys, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
    SetGeographicKeys(keys, geo.crs);
    GTIFKeySet(keys, PCSCitationGeoKey, TYPE_ASCII, 0, citation.c_str());
    GTIFKeySet(keys, ProjLinearUnitsGeoKey, TYPE_SHORT, 1, Linear_Meter);
    return true;
  }

  TIFF* tiff_ = nullptr;
  std::int64_t width_, height_;
  std::int64_t written_ = 0;
};

}  // namespace

std::unique_ptr<BandWriter> OpenTiffWriter(std::FILE* file, std::int64_t width, std::int64_t height,
                                           const GeoReference* geo) {
  auto writer = std::make_unique<TiffBandWriter>(width, height);
  return writer->Start(file, geo) ? std::move(writer) : nullptr;
}

}  // namespace ImageFiles
