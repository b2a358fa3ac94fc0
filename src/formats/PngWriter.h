#pragma once
// TPngWriter: writes a bitmap as a PNG file, byte for byte by fixed rules (chunk order, one
// IDAT at zlib's default level, the per-row filter choice), so that files are reproducible.

#include <cstdint>
#include <string>
#include <vector>

#include "base/FileIO.h"
#include "picture/Bitmap.h"

namespace pennacrow {

class TPngWriter : public TBitmap {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  // Never used to decode: PNG files are read by TPNGGraphic.
  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  // The PNG bytes of the bitmap this writer holds.
  std::vector<std::uint8_t> SaveToStream() const;
};

// The picture control's PNG save: a copy of the bitmap goes through a TPngWriter; the bitmap
// itself is never changed. The file is written atomically.
void SaveAsPNG(const TBitmap& bitmap, const std::string& fileName,
               const TWriteOptions& options = {});
// The bytes SaveAsPNG writes.
std::vector<std::uint8_t> PngBytes(const TBitmap& source);
// The same bytes handed to a sink; where the sink can patch, the image data is streamed.
void PutPng(const TBitmap& source, TFileSink& sink);

}  // namespace pennacrow
