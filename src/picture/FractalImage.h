#pragma once
// TFractalImage: the picture control without its screen. It holds the working bitmap, loads
// picture files into it through the format registry, saves it, and (with the fractal painters)
// paints into it. The Qt view shows what it holds; every rule lives here.

#include <memory>
#include <optional>
#include <string>

#include "base/FileIO.h"
#include "picture/Bitmap.h"
#include "picture/FileFormats.h"
#include "picture/FractalProperties.h"

namespace pennacrow {

class TFractalImage {
 public:
  explicit TFractalImage(const TFileFormatsList& formats) : FFormats(formats) {}

  // True once anything has been loaded, painted, or PictureBitmap was asked for.
  bool HasPicture() const { return FPicture.has_value(); }
  // The picture's size without creating anything: 0 while the control holds no picture.
  int PictureWidth() const { return FPicture ? FPicture->Width() : 0; }
  int PictureHeight() const { return FPicture ? FPicture->Height() : 0; }

  // The working bitmap; an empty control first gets an empty 0 x 0 bitmap.
  TBitmap& PictureBitmap();
  const TBitmap* PictureOrNull() const { return FPicture ? &*FPicture : nullptr; }

  // Decodes the file and copies it into the working bitmap. On failure the working bitmap is
  // untouched and the decoder's error goes to the caller.
  void LoadPictureFile(const std::string& fileName);
  // The same for a picture already decoded (the command line's recognition by content).
  void LoadGraphic(std::unique_ptr<TGraphic> graphic);
  // Loads the file into this control, which holds no picture yet, as a load into previous would
  // go: a picture that can only draw itself is drawn over a copy of previous's picture. A front
  // end loads on a fresh control off its own thread this way and takes the result over when it
  // is whole, so that nothing it shows meanwhile is being replaced, and a failed load leaves
  // previous as it was.
  void LoadPictureFileOver(const std::string& fileName, const TFractalImage& previous);

  // The picture's own save, as BMP: no picture writes no file; the empty bitmap writes an empty
  // file; otherwise the bitmap unconverted, so every bit the codec wrote survives.
  void SaveToFile(const std::string& fileName, const TWriteOptions& options = {}) const;

  // Size of the control on screen, which a fractal paint takes as the picture's size.
  int ControlWidth = 827;
  int ControlHeight = 402;

  // What the next fractal paint paints.
  TFractalProperties FractalProperties;

  // Paints the current fractal kind into the working bitmap at the control's size: an empty
  // control (no picture, or only the empty 0 x 0 bitmap) gets a 24-bit bitmap; a picture it
  // held is cut or extended at the right and bottom (new area white), its depth and colour
  // table kept. Ends with Active() false, also when it fails.
  // The core shows no cursor. Paints start only here and through SetActive(true), both leave
  // the control consistent when they throw, so a front end shows its busy cursor by wrapping
  // those two calls in a scoped guard.
  void PaintFractal();

  // A trigger, not a state: writing true paints at once and the paint leaves it false; writing
  // the value it already has does nothing.
  bool Active() const { return FActive; }
  void SetActive(bool value);

  // Takes other's picture and fractal settings as its own (other is left without a picture),
  // so that a load or paint done on a copy elsewhere becomes this control's in one step.
  void TakePicture(TFractalImage& other);

 private:
  const TFileFormatsList& FFormats;
  std::optional<TBitmap> FPicture;
  bool FActive = false;
};

// Copies a decoded picture into a working bitmap: a bitmap (or a picture that renders one) is
// copied whole; any other picture, or a failure while copying, takes the fallback path.
void CopyGraphicInto(TGraphic& graphic, TBitmap& working);

}  // namespace pennacrow
