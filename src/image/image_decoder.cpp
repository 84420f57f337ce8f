// The picture decoder for every non-PNG file (BMP, JPEG, GIF, ...): Qt's QImageReader, QtGui only.
#include <QImage>
#include <QImageReader>
#include <QString>
#include <algorithm>
#include <cstring>
#include <limits>

#include "image/image_files.h"
#include "image/memory_budget.h"

namespace ImageFiles {

int DecodePicture(const std::string& path, VideoBuffer* out, std::string* reason) {
  // Qt's own default refuses pictures far below real map sizes; what the machine can give takes
  // its place (Qt's decoded copy lives in memory whatever becomes of ours).
  const std::uint64_t available = MemoryBudget::AvailableBytes();
  QImageReader::setAllocationLimit(
      static_cast<int>(std::min<std::uint64_t>(available >> 20, std::numeric_limits<int>::max())));
  QImageReader reader(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
  reader.setDecideFormatFromContent(true);
  // Stored pixel order, as every other decoder of the system delivers it.
  reader.setAutoTransform(false);
  const QSize declared = reader.size();
  if (declared.isValid()) {
    if (!AdmitsDecodedSize(declared.width(), declared.height())) return -1;
    const std::uint64_t bytes = static_cast<std::uint64_t>(declared.width()) * declared.height() * 4;
    if (bytes > available) {
      if (reason) *reason = MemoryBudget::NotEnoughMessage(declared.width(), declared.height(), bytes);
      return -3;
    }
  }

  QImage image;
  if (!reader.read(&image) || image.isNull()) return -1;
  if (!AdmitsDecodedSize(image.width(), image.height())) return -1;
  // Premultiplied is the picture drawn over black: transparent parts become black, alpha 0.
  if (image.format() != QImage::Format_RGB32 &&
      image.format() != QImage::Format_ARGB32_Premultiplied) {
    image = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return -1;
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
