#pragma once
// TGraphic: the interface every picture class implements, and TGraphicClass, the class
// reference the format registry stores so that it can create a decoder by extension and tell
// which classes derive from which.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "picture/PixelLimits.h"

namespace pennacrow {

class TBitmap;
class TGraphic;

struct TGraphicClass {
  const char* Name;                       // "TBitmap", "TJPEGImage", ...
  const TGraphicClass* Parent;            // nullptr only for TGraphic itself
  std::unique_ptr<TGraphic> (*Create)();  // nullptr for abstract classes

  bool InheritsFrom(const TGraphicClass& base) const;
};

class TGraphic {
 public:
  static const TGraphicClass ClassInfo;

  TGraphic() = default;
  TGraphic(const TGraphic&) = default;
  // The limits stay with the object they were set on: a decoder that assigns the picture it
  // built to itself keeps the limits its caller gave it.
  TGraphic& operator=(const TGraphic&) { return *this; }
  virtual ~TGraphic() = default;

  // What this picture's decoder may allocate: the program's limits unless a caller sets lower
  // ones (the fuzz targets do, to stay fast). Carried by the picture, not held globally, so that
  // pictures decoded on several threads at once share nothing that changes.
  const TPixelLimits& Limits() const { return FLimits; }
  void SetLimits(const TPixelLimits& limits) { FLimits = limits; }

  virtual const TGraphicClass& ClassType() const = 0;

  // Decodes a whole file held in memory. Damaged or unsupported content raises
  // EInvalidGraphicFormat with the format's message.
  virtual void LoadFromBytes(std::span<const std::uint8_t> data) = 0;
  // Reads the file and decodes it; classes that need the file's name (a palette file beside it)
  // override this.
  virtual void LoadFromFile(const std::string& fileName);

  // Rows on demand, for a reader that needs only the top of a picture: decodes the first
  // rowCount rows (top row first) into the picture's bitmap, which then holds at least that
  // many rows (a file that cannot be read in part gives them all) or all of them when the
  // picture has fewer. Returns the whole picture's height from its header. Nothing when the class
  // decodes only whole pictures; the caller then loads the file. A file that ends after the rows
  // asked for still gives them.
  virtual std::optional<int> LoadFirstRows(const std::string& fileName, int rowCount) {
    (void)fileName;
    (void)rowCount;
    return std::nullopt;
  }

  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // The copy path of a load: the bitmap this picture is or renders itself into. nullptr for a
  // picture that can only draw itself (icons, metafiles). May raise when pixels decode late.
  virtual const TBitmap* GetBitmap() { return nullptr; }
  // Moves the bitmap GetBitmap shows into `into` and leaves this picture empty, for a load whose
  // decoded picture dies right after: a large picture then sits in memory once, not twice. False,
  // and `into` untouched, for a picture that can only draw itself.
  virtual bool TakeBitmap(TBitmap& into) {
    (void)into;
    return false;
  }

  // The fallback path: draws the picture at (0, 0) at natural size onto a 24-bit canvas;
  // transparent pixels leave the canvas as it was.
  virtual void Draw(TBitmap& canvas) const;

 private:
  TPixelLimits FLimits;
};

}  // namespace pennacrow
