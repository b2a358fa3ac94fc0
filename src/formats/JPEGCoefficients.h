#pragma once
// A JPEG file as its quantised DCT coefficients, read and written through libjpeg's coefficient
// interface: nothing is decoded to pixels or compressed again, so a write that changes no
// coefficient gives the same picture, and one that changes a few changes exactly those.
//
// The file written keeps the source's quantisation tables, component sampling, restart interval,
// entropy coder and mode: a sequential file stays sequential (with the standard Huffman tables
// when the source used them, else with tables made for its own data, which also covers symbols
// the source's tables lack), a progressive file stays progressive with libjpeg's usual scan
// script. Its APPn and comment markers (EXIF, ICC profile, XMP, comments) are kept unless the
// write is asked to drop them; JFIF and Adobe headers follow the source in either case.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "picture/PixelLimits.h"

namespace pennacrow {

// One colour component's coefficient plane, in blocks of 8 × 8.
struct TJpegComponent {
  std::uint32_t WidthInBlocks = 0;
  std::uint32_t HeightInBlocks = 0;
  int HorizontalSampling = 1;
  int VerticalSampling = 1;
  std::array<std::uint16_t, 64> Quant{};  // natural (row by row) order
};

// What the source's markers hold beyond the picture.
struct TJpegMetadata {
  bool Exif = false;
  bool Icc = false;
  bool Comment = false;
  bool OtherApp = false;  // XMP, maker data and any other application marker
  bool GpsPosition = false;
  bool Any() const { return Exif || Icc || Comment || OtherApp; }
};

// The bytes begin as every JPEG file does (the start-of-image marker and another marker).
bool LooksLikeJpeg(std::span<const std::uint8_t> bytes);

class TJpegCoefficients {
 public:
  // Reads the coefficients of a JPEG file, whose bytes are needed only until this returns. Sizes
  // beyond the limits, and coded data too short for the blocks the header declares, are refused
  // before the coefficient planes are allocated.
  // Raises EInvalidGraphicFormat of its kind: not a JPEG, truncated, damaged, unsupported (a
  // sample precision other than 8 bits, lossless files), too large.
  explicit TJpegCoefficients(std::span<const std::uint8_t> file, const TPixelLimits& limits = {});
  TJpegCoefficients(TJpegCoefficients&&) noexcept;
  TJpegCoefficients& operator=(TJpegCoefficients&&) noexcept;
  ~TJpegCoefficients();

  int ComponentCount() const;
  const TJpegComponent& Component(int c) const;
  // The 64 coefficients of block (row, column) of component c, in natural order.
  std::int16_t* Block(int c, std::uint32_t row, std::uint32_t column);
  const std::int16_t* Block(int c, std::uint32_t row, std::uint32_t column) const;

  bool Progressive() const;
  const TJpegMetadata& Metadata() const;

  // The file with the coefficients as they are now. Raises EInvalidGraphicFormat when libjpeg
  // refuses to write them.
  std::vector<std::uint8_t> Write(bool keepMetadata = true) const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// True when the EXIF block (the APP1 marker's data after "Exif\0\0") holds a GPS latitude or
// longitude. Bounds are checked everywhere: a damaged block says no.
bool ExifHasGpsPosition(std::span<const std::uint8_t> tiff);

}  // namespace pennacrow
