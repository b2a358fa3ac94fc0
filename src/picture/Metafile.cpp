#include "picture/Metafile.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TMetafile::ClassInfo{"TMetafile", &TGraphic::ClassInfo,
                                         [] { return std::unique_ptr<TGraphic>(new TMetafile); }};

void TMetafile::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("WMF/EMF", "元文件"));
}

void TMetafile::Draw(TBitmap& canvas) const { FImage.Draw(canvas); }

}  // namespace pennacrow
