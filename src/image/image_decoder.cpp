// The picture decoder for every non-PNG file (BMP, JPEG, GIF, ...): Qt's QImageReader, QtGui only,
// behind a check of the file's own structure that tells a file cut short.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>

#include "image/image_files.h"
#include "image/memory_budget.h"

namespace ImageFiles {

namespace {

std::uint32_t Le16(const unsigned char* p) { return p[0] | p[1] << 8; }
std::uint32_t Le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// BMP: uncompressed pixel rows must all be there; a run-length stream must reach its end-of-bitmap
// code, or end on a command boundary after its last row.
Completeness CheckBmp(const unsigned char* data, std::size_t size) {
  if (size < 18) return Completeness::kTruncated;
  const std::uint32_t offset = Le32(data + 10), headerSize = Le32(data + 14);
  if (size < 14 + std::uint64_t{headerSize} || headerSize < 12) return Completeness::kTruncated;
  std::int64_t width, height;
  std::uint32_t bits, compression = 0;
  if (headerSize == 12) {
    width = static_cast<std::int16_t>(Le16(data + 18));
    height = static_cast<std::int16_t>(Le16(data + 20));
    bits = Le16(data + 24);
  } else {
    if (headerSize < 20) return Completeness::kUnknown;
    width = static_cast<std::int32_t>(Le32(data + 18));
    height = static_cast<std::int32_t>(Le32(data + 22));
    bits = Le16(data + 28);
    compression = Le32(data + 30);
  }
  height = height < 0 ? -height : height;
  if (width <= 0 || bits == 0 || bits > 64) return Completeness::kUnknown;
  if (compression == 0 || compression == 3 || compression == 6) {  // plain and bit-field rows
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    return offset + stride * static_cast<std::uint64_t>(height) <= size ? Completeness::kComplete
                                                                        : Completeness::kTruncated;
  }
  if (compression != 1 && compression != 2) return Completeness::kUnknown;
  const bool fourBits = compression == 2;
  std::size_t at = offset;
  std::int64_t rows = 0;
  while (at + 2 <= size) {
    const unsigned count = data[at], code = data[at + 1];
    at += 2;
    if (count != 0 || code >= 3) {
      if (count == 0) at += ((fourBits ? (code + 1) / 2 : code) + 1) & ~std::size_t{1};
      continue;
    }
    if (code == 1) return Completeness::kComplete;  // end of bitmap
    if (code == 0) ++rows;                          // end of line
    if (code == 2) {                                // a move right and down
      if (at + 2 > size) return Completeness::kTruncated;
      rows += data[at + 1];
      at += 2;
    }
  }
  return at == size && rows >= height - 1 ? Completeness::kComplete : Completeness::kTruncated;
}

// JPEG: the marker segments by their lengths, the entropy-coded data up to the next marker, until
// the end-of-image marker. A sequential Huffman-coded picture (baseline or extended) codes every
// 8 x 8 block in at least 2 bits (a DC code and an end-of-block or AC code of at least 1 bit
// each): scan data below that for the blocks of the largest component can never fill the
// picture. Progressive and arithmetic coding have no such bound.
Completeness CheckJpeg(const unsigned char* data, std::size_t size) {
  std::size_t at = 2;
  std::uint64_t blocks = 0, scanBytes = 0;
  for (;;) {
    while (at < size && data[at] == 0xFF) ++at;  // the marker's 0xFF and any fill bytes
    if (at >= size) return Completeness::kTruncated;
    const unsigned marker = data[at++];
    if (marker == 0xD9) {
      return scanBytes * 4 < blocks ? Completeness::kImplausible : Completeness::kComplete;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (at + 2 > size) return Completeness::kTruncated;
    const std::size_t length = data[at] << 8 | data[at + 1];
    if ((marker == 0xC0 || marker == 0xC1) && length >= 8 && at + 7 <= size) {
      const std::uint64_t height = data[at + 3] << 8 | data[at + 4];
      const std::uint64_t width = data[at + 5] << 8 | data[at + 6];
      blocks = (width + 7) / 8 * ((height + 7) / 8);
    }
    at += length;
    if (at > size) return Completeness::kTruncated;
    if (marker != 0xDA) continue;
    // Scan data: 0xFF 0x00 is a stuffed byte and 0xFF 0xD0..D7 a restart; any other marker ends it.
    const std::size_t scanStart = at;
    for (;; ++at) {
      if (at + 1 >= size) return Completeness::kTruncated;
      if (data[at] != 0xFF) continue;
      const unsigned next = data[at + 1];
      if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
        ++at;
      } else if (next != 0xFF) {
        break;
      }
    }
    scanBytes += at - scanStart;
  }
}

// GIF: blocks and their chains of sub-blocks. A file that ends between blocks after a whole image
// is complete (some writers leave out the trailer); one that ends inside a block is not.
Completeness CheckGif(const unsigned char* data, std::size_t size) {
  if (size < 13) return Completeness::kTruncated;
  auto table = [](unsigned flags) {
    return flags & 0x80 ? std::size_t{3} << ((flags & 7) + 1) : 0;
  };
  std::size_t at = 13 + table(data[10]);
  int images = 0;
  auto subBlocks = [&] {
    for (;;) {
      if (at >= size) return false;
      const std::size_t length = data[at++];
      if (length == 0) return true;
      at += length;
    }
  };
  for (;;) {
    if (at >= size) return images > 0 ? Completeness::kComplete : Completeness::kTruncated;
    switch (data[at]) {
      case 0x3B:
        return Completeness::kComplete;
      case 0x21:
        at += 2;
        if (!subBlocks()) return Completeness::kTruncated;
        break;
      case 0x2C:
        if (at + 10 > size) return Completeness::kTruncated;
        at += 10 + table(data[at + 9]) + 1;  // descriptor, local table, LZW code size
        if (!subBlocks()) return Completeness::kTruncated;
        ++images;
        break;
      default:
        return images > 0 ? Completeness::kComplete : Completeness::kUnknown;
    }
  }
}

// Qt's readers report broken files on the terminal through these categories; the outcome reaches
// the user as our own message instead. QT_LOGGING_RULES still overrides this.
void SilenceImageReaderLog() {
  static std::once_flag once;
  std::call_once(once,
                 [] { QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false")); });
}

}  // namespace

Completeness CheckComplete(const unsigned char* data, std::size_t size) {
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return CheckBmp(data, size);
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
    return CheckJpeg(data, size);
  }
  if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
    return CheckGif(data, size);
  }
  return Completeness::kUnknown;
}

int DecodePicture(std::FILE* file, VideoBuffer* out, std::string* reason) {
  SilenceImageReaderLog();
  // The whole file in memory: its structure is checked, and the reader reads no device.
  QByteArray bytes;
  for (char chunk[1 << 16];;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
    bytes.append(chunk, static_cast<qsizetype>(got));
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file)) {
    *reason = std::strerror(errno);
    return -1;
  }
  switch (CheckComplete(reinterpret_cast<const unsigned char*>(bytes.constData()),
                        static_cast<std::size_t>(bytes.size()))) {
    case Completeness::kTruncated:
      *reason = "truncated";
      return -1;
    case Completeness::kImplausible:
      *reason = kImplausiblySmall;
      return -1;
    case Completeness::kComplete:
    case Completeness::kUnknown:
      break;
  }
  // Qt's own default refuses pictures far below real map sizes; what the machine can give takes
  // its place (Qt's decoded copy lives in memory whatever becomes of ours).
  QImageReader::setAllocationLimit(static_cast<int>(std::min<std::uint64_t>(
      MemoryBudget::AvailableBytes() >> 20, std::numeric_limits<int>::max())));
  QBuffer device(&bytes);
  device.open(QIODevice::ReadOnly);
  QImageReader reader(&device);
  reader.setDecideFormatFromContent(true);
  // Stored pixel order, as every other decoder of the system delivers it.
  reader.setAutoTransform(false);
  const QSize declared = reader.size();
  if (declared.isValid()) {
    if (const int admitted = AdmitDecode(declared.width(), declared.height(), true, reason)) {
      return admitted;
    }
  }

  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    *reason = reader.error() == QImageReader::UnsupportedFormatError
                  ? "not a picture Kartovel reads"
                  : "corrupt";
    return -1;
  }
  if (const int admitted = AdmitDecode(image.width(), image.height(), false, reason)) {
    return admitted;
  }
  // Premultiplied is the picture drawn over black: transparent parts become black, alpha 0.
  if (image.format() != QImage::Format_RGB32 &&
      image.format() != QImage::Format_ARGB32_Premultiplied) {
    const QSize size = image.size();
    image = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
      *reason = MemoryBudget::NotEnoughMessage(size.width(), size.height(),
                                               DecodeBytes(size.width(), size.height(), true));
      return -3;
    }
  }

  if (image.width() < 2 || image.height() < 2) {
    out->Release();  // a side of 1 pixel: an empty buffer, as for PNG
    return 0;
  }
  VideoBuffer buffer;
  if (const int held = AllocateDecoded(&buffer, image.width(), image.height(), reason)) return held;
  // Both are 0xAARRGGBB words in memory; the buffer keeps its rows bottom-up.
  const std::size_t rowBytes = static_cast<std::size_t>(buffer.width) * 4;
  for (std::int32_t y = 0; y < buffer.height; ++y) {
    std::memcpy(buffer.pixels + (static_cast<std::size_t>(buffer.height) - 1 - y) * rowBytes,
                image.constScanLine(y), rowBytes);
  }
  out->Swap(buffer);
  return 0;
}

}  // namespace ImageFiles
