#include "app/BitmapImage.h"

#include <algorithm>

namespace pennacrow {

QImage ToQImage(const TBitmap& bitmap) { return ToQImage(bitmap, 0, bitmap.Height()); }

QImage ToQImage(const TBitmap& bitmap, int firstRow, int lastRow) {
  firstRow = std::clamp(firstRow, 0, bitmap.Height());
  lastRow = std::clamp(lastRow, firstRow, bitmap.Height());
  QImage image(bitmap.Width(), lastRow - firstRow, QImage::Format_RGB32);
  if (image.isNull()) return image;
  const int depth = bitmap.BitsPerPixel();
  for (int y = firstRow; y < lastRow; ++y) {
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y - firstRow));
    const std::uint8_t* row = bitmap.ConstRowAt(y);
    if (depth == 24) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
      }
    } else if (depth == 32 && !bitmap.HasColorMasks()) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
      }
    } else {
      for (int x = 0; x < bitmap.Width(); ++x) {
        const TRGBQuad c = bitmap.GetPixel(x, y);
        out[x] = qRgb(c.Red, c.Green, c.Blue);
      }
    }
  }
  return image;
}

}  // namespace pennacrow
