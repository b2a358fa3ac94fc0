#include "picture/Metafile.h"

#include <algorithm>

#include "picture/MetafilePainter.h"

namespace pennacrow {

const TGraphicClass TMetafile::ClassInfo{"TMetafile", &TGraphic::ClassInfo,
                                         [] { return std::unique_ptr<TGraphic>(new TMetafile); }};

void TMetafile::LoadFromBytes(std::span<const std::uint8_t> data) {
  TBitmap image;
  // An enhanced metafile begins with its header record, type 1, and carries " EMF" at byte 40.
  const bool enhanced = data.size() >= 44 && data[0] == 1 && data[1] == 0 && data[2] == 0 &&
                        data[3] == 0 && data[40] == 0x20 && data[41] == 'E' && data[42] == 'M' &&
                        data[43] == 'F';
  if (enhanced)
    metafile::PlayEmf(data, Limits(), image);
  else
    metafile::PlayWmf(data, Limits(), image);
  FImage = std::move(image);
}

void TMetafile::Draw(TBitmap& canvas) const {
  const int w = std::min(FImage.Width(), canvas.Width());
  const int h = std::min(FImage.Height(), canvas.Height());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      TRGBQuad c = FImage.GetPixel(x, y);
      if (c.Reserved == 0) continue;
      c.Reserved = 0;
      canvas.SetPixel(x, y, c);
    }
  }
}

}  // namespace pennacrow
