#pragma once
// TBitmap: the working bitmap. Rows are addressed from the top (RowAt(0) is the top row), each
// ((width x bpp + 31) div 32) x 4 bytes long, pixels in the layouts the codec relies on:
//   1/4/8 bits: colour-table indices, leftmost pixel in the most significant bits;
//   15/16 bits: 16-bit words, low byte first; 24 bits: blue, green, red; 32 bits: B, G, R, A.
// The class also reads and writes BMP files.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/FileIO.h"
#include "picture/Graphic.h"

namespace pennacrow {

struct TRGBQuad {
  std::uint8_t Blue = 0;
  std::uint8_t Green = 0;
  std::uint8_t Red = 0;
  std::uint8_t Reserved = 0;
  friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

inline TRGBQuad RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return {b, g, r, 0};
}

// What a BMP file said about itself beyond the pixels, kept so that a save writes it back.
struct TBmpFileInfo {
  bool Os2 = false;                // came with the 12-byte OS/2 header
  std::int32_t XPelsPerMeter = 0;  // resolution fields, as held
  std::int32_t YPelsPerMeter = 0;
  std::uint32_t ClrImportant = 0;
  bool ClrUsedFromFile = false;  // the file set its colours-used count
};

class TBitmap : public TGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  TBitmap() = default;
  TBitmap(int width, int height, int bitsPerPixel);

  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  int BitsPerPixel() const { return FBitsPerPixel; }
  std::size_t RowLength() const { return FRowLength; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }

  // Row r from the top, for writing. Any write access counts as a change: it drops the bytes of
  // a run-length compressed file that would otherwise be saved back unchanged.
  // r outside 0 .. height - 1 raises EInvalidGraphicOperation("扫描行索引越界").
  std::uint8_t* RowAt(int r);
  // Read-only access to row r; does not count as a change.
  const std::uint8_t* ConstRowAt(int r) const;
  // All rows, top row first, RowLength() bytes each.
  std::span<const std::uint8_t> Bits() const { return FBits; }
  std::span<std::uint8_t> MutableBits();

  // Replaces size, depth and pixels; new pixels are zero. Checks the pixel limits first.
  void Allocate(int width, int height, int bitsPerPixel);
  // Resizes in place: the old pixels stay where old and new areas overlap, at the top left; the
  // new area is white (the palette entry nearest to white for indexed bitmaps). Depth kept.
  void SetSize(int width, int height);
  // Converts the pixels to another depth: 24 or 32 from any depth; indexed depths take the
  // nearest palette entry. Converting to the same depth changes nothing.
  void SetBitsPerPixel(int bitsPerPixel);

  std::vector<TRGBQuad>& Palette() { return FPalette; }
  const std::vector<TRGBQuad>& Palette() const { return FPalette; }

  // Colour masks (red, green, blue) of a 16- or 32-bit bitmap read from a bit-field file.
  bool HasColorMasks() const { return FHasColorMasks; }
  const std::array<std::uint32_t, 3>& ColorMasks() const { return FColorMasks; }
  void SetColorMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue);
  void ClearColorMasks() { FHasColorMasks = false; }

  bool Transparent() const { return FTransparent; }
  TRGBQuad TransparentColor() const { return FTransparentColor; }
  void SetTransparent(bool transparent, TRGBQuad color = {});

  TBmpFileInfo& FileInfo() { return FFileInfo; }
  const TBmpFileInfo& FileInfo() const { return FFileInfo; }

  // The colour of pixel (x, y) (Reserved holds alpha for 32-bit pixels) and single-pixel writes:
  // pixels outside the picture are dropped, indexed bitmaps take the nearest palette entry.
  TRGBQuad GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TRGBQuad color);
  int NearestPaletteIndex(TRGBQuad color) const;

  // Copies everything: size, depth, palette, pixels, masks, transparency, file information and
  // the attached file bytes.
  void Assign(const TBitmap& source);

  // BMP files.
  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  // Uncompressed BMP files read only the rows asked for; run-length files, and the classes
  // derived from this one that do not read rows themselves, decode whole.
  std::optional<int> LoadFirstRows(const std::string& fileName, int rowCount) override;
  void LoadFromFile(const std::string& fileName) override;
  std::vector<std::uint8_t> SaveToBytes() const;
  // Writes the BMP file atomically; an empty (0 x 0) bitmap that was made by PictureBitmap
  // writes an empty file, as the picture control asks.
  void SaveToFile(const std::string& fileName, const TWriteOptions& options = {}) const;

  // The bytes of a run-length compressed file this bitmap was loaded from, while unchanged.
  const std::vector<std::uint8_t>& AttachedFile() const { return FAttachedFile; }
  void AttachFile(std::vector<std::uint8_t> bytes) { FAttachedFile = std::move(bytes); }

  const TBitmap* GetBitmap() override { return this; }
  bool TakeBitmap(TBitmap& into) override {
    if (&into != this) into = std::move(*this);
    return true;
  }
  void Draw(TBitmap& canvas) const override;

 private:
  int FWidth = 0;
  int FHeight = 0;
  int FBitsPerPixel = 24;
  std::size_t FRowLength = 0;
  std::vector<std::uint8_t> FBits;  // top row first
  std::vector<TRGBQuad> FPalette;
  bool FHasColorMasks = false;
  std::array<std::uint32_t, 3> FColorMasks{};
  bool FTransparent = false;
  TRGBQuad FTransparentColor;
  TBmpFileInfo FFileInfo;
  std::vector<std::uint8_t> FAttachedFile;
};

}  // namespace pennacrow
