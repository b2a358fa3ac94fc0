#include "app/BitmapImage.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/LargeBuffer.h"
#include "picture/RowColors.h"

namespace pennacrow {

QImage ToQImage(const TBitmap& bitmap) {
  return ToQImage(bitmap, 0, bitmap.Height());
}

QImage ToQImage(const TBitmap& bitmap, int firstRow, int lastRow) {
  firstRow = std::clamp(firstRow, 0, bitmap.Height());
  lastRow = std::clamp(lastRow, firstRow, bitmap.Height());
  QImage image(bitmap.Width(), lastRow - firstRow, QImage::Format_RGB32);
  if (image.isNull()) return image;
  // A 12-megapixel picture makes a 48 MB image; its pages are asked for at once.
  PrepareLargeBuffer(image.bits(), static_cast<std::size_t>(image.sizeInBytes()));
  const int width = bitmap.Width();
  const int depth = bitmap.BitsPerPixel();
  // Other layouts go through the core's row reader, which gives GetPixel's colours a row at a
  // time from tables made once.
  const bool direct = depth == 24 || (depth == 32 && !bitmap.HasColorMasks());
  std::optional<TRowColors> colors;
  std::vector<TRGBQuad> row(direct ? 0 : static_cast<std::size_t>(width));
  if (!direct) colors.emplace(bitmap);
  for (int y = firstRow; y < lastRow; ++y) {
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y - firstRow));
    const std::uint8_t* bits = bitmap.ConstRowAt(y);
    if (depth == 24) {
      for (int x = 0; x < width; ++x, bits += 3) out[x] = qRgb(bits[2], bits[1], bits[0]);
    } else if (direct) {
      for (int x = 0; x < width; ++x, bits += 4) out[x] = qRgb(bits[2], bits[1], bits[0]);
    } else {
      colors->Read(bits, row.data());
      for (int x = 0; x < width; ++x) out[x] = qRgb(row[x].Red, row[x].Green, row[x].Blue);
    }
  }
  return image;
}

}  // namespace pennacrow
