#include "picture/Graphic.h"

#include "picture/Bitmap.h"
#include "picture/PictureFile.h"

namespace pennacrow {

const TGraphicClass TGraphic::ClassInfo{"TGraphic", nullptr, nullptr};

bool TGraphicClass::InheritsFrom(const TGraphicClass& base) const {
  for (const TGraphicClass* c = this; c != nullptr; c = c->Parent) {
    if (c == &base) return true;
  }
  return false;
}

void TGraphic::LoadFromFile(const std::string& fileName) {
  const std::vector<std::uint8_t> data = ReadPictureFile(fileName, false, Limits());
  LoadFromBytes(data);
}

void TGraphic::Draw(TBitmap& canvas) const {
  // Pictures that are not bitmaps override this; a bitmap draws through TBitmap::Draw.
  (void)canvas;
}

}  // namespace pennacrow
