#include "picture/PictureRows.h"

#include "picture/FractalImage.h"

namespace pennacrow {

TPictureRows LoadPictureRows(const TFileFormatsList& formats, const std::string& fileName,
                             int rowsNeeded, const TGraphicClass* pictureClass) {
  TPictureRows rows;
  if (pictureClass == nullptr) pictureClass = formats.ClassForExtension(ExtractExtension(fileName));
  if (pictureClass != nullptr && pictureClass->Create != nullptr) {
    std::unique_ptr<TGraphic> graphic = pictureClass->Create();
    if (const std::optional<int> height = graphic->LoadFirstRows(fileName, rowsNeeded)) {
      if (graphic->TakeBitmap(rows.Rows)) {
        rows.Height = *height;
        return rows;
      }
    }
  }
  TFractalImage picture(formats);
  if (pictureClass != nullptr && pictureClass->Create != nullptr) {
    std::unique_ptr<TGraphic> graphic = pictureClass->Create();
    graphic->LoadFromFile(fileName);
    picture.LoadGraphic(std::move(graphic));
  } else {
    picture.LoadPictureFile(fileName);
  }
  rows.Rows = std::move(picture.PictureBitmap());
  rows.Height = rows.Rows.Height();
  return rows;
}

const TBitmap& TPictureFileRows::Rows(int rowCount) {
  if (!FLoaded || (!FRows.Complete() && FRows.Rows.Height() < rowCount)) {
    FRows = LoadPictureRows(FFormats, FFileName, rowCount, FClass);
    FLoaded = true;
  }
  return FRows.Rows;
}

}  // namespace pennacrow
