#pragma once
// The top of a picture without the rest: readers of a container need only the rows it occupies,
// and a 60 KB container lives in the first one per cent of a photograph's rows.

#include <string>

#include "picture/Bitmap.h"
#include "picture/FileFormats.h"

namespace pennacrow {

// The first rows of a picture as the working bitmap would hold them: its width, depth and
// palette, its rows from the top; and the whole picture's height from its header.
struct TPictureRows {
  TBitmap Rows;
  int Height = 0;
  bool Complete() const { return Rows.Height() >= Height; }
};

// Where a reader gets its rows from, as many as it finds it needs.
class TRowSource {
 public:
  virtual ~TRowSource() = default;
  // A bitmap of the picture's width, depth and palette holding at least its first rowCount
  // rows, or all of them when the picture has fewer.
  virtual const TBitmap& Rows(int rowCount) = 0;
  // The whole picture's height, once rows were asked for.
  virtual int Height() const = 0;
};

// Loads at least the first rowsNeeded rows of a picture file through the registry: only those
// rows for the classes that can read rows on demand, the whole picture (as LoadPictureFile
// makes it) for the others. pictureClass, when given, is the reader instead of the one the
// file's extension names (a caller that recognised the content).
TPictureRows LoadPictureRows(const TFileFormatsList& formats, const std::string& fileName,
                             int rowsNeeded, const TGraphicClass* pictureClass = nullptr);

// A picture file whose rows are loaded when a reader first asks for them.
class TPictureFileRows : public TRowSource {
 public:
  TPictureFileRows(const TFileFormatsList& formats, std::string fileName,
                   const TGraphicClass* pictureClass = nullptr)
      : FFormats(formats), FFileName(std::move(fileName)), FClass(pictureClass) {}
  const TBitmap& Rows(int rowCount) override;
  int Height() const override { return FRows.Height; }

 private:
  const TFileFormatsList& FFormats;
  std::string FFileName;
  const TGraphicClass* FClass;
  bool FLoaded = false;
  TPictureRows FRows;
};

// A bitmap already in memory as a row source: every row is there.
class TBitmapRows : public TRowSource {
 public:
  explicit TBitmapRows(const TBitmap& bitmap) : FBitmap(bitmap) {}
  const TBitmap& Rows(int) override { return FBitmap; }
  int Height() const override { return FBitmap.Height(); }

 private:
  const TBitmap& FBitmap;
};

}  // namespace pennacrow
