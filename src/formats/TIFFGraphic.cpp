#include "formats/TIFFGraphic.h"
#include "base/Translate.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/PixelRows.h"
#include "picture/ByteReader.h"
#include "picture/Colour.h"
#include "picture/Errors.h"
#include "picture/PictureFile.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TTIFFGraphic::ClassInfo{"TTIFFGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                              return std::unique_ptr<TGraphic>(new TTIFFGraphic);
                                            }};

namespace {

// The file as libtiff's client procedures see it, and what its handlers reported. The file is in
// memory, or read in parts on demand, so that the rows of a picture's top cost only the strips
// or tiles that hold them.
struct TTiffInput {
  const TByteReader* Reader;
  std::uint64_t Size;
  std::uint64_t Position;
  bool ReadPastEnd;   // a read asked for bytes beyond the end of the data
  char Message[256];  // the first error libtiff reported
};

TTiffInput& Input(thandle_t handle) {
  return *static_cast<TTiffInput*>(handle);
}

tmsize_t TiffRead(thandle_t handle, void* buffer, tmsize_t size) {
  TTiffInput& in = Input(handle);
  if (size <= 0) return 0;
  const std::uint64_t available = in.Position < in.Size ? in.Size - in.Position : 0;
  const std::uint64_t n = std::min<std::uint64_t>(available, static_cast<std::uint64_t>(size));
  if (n < static_cast<std::uint64_t>(size)) in.ReadPastEnd = true;
  if (n == 0) return 0;
  if (!in.Reader->ReadAt(in.Position, static_cast<std::uint8_t*>(buffer),
                         static_cast<std::size_t>(n))) {
    in.ReadPastEnd = true;  // the file shrank since it was opened
    return 0;
  }
  in.Position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t TiffWrite(thandle_t, void*, tmsize_t) {
  return 0;
}

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
  TTiffInput& in = Input(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = in.Position;
  if (whence == SEEK_END) base = in.Size;
  if (offset > UINT64_MAX - base) return static_cast<toff_t>(-1);
  in.Position = base + offset;
  return in.Position;
}

int TiffClose(thandle_t) {
  return 0;
}
toff_t TiffSize(thandle_t handle) {
  return Input(handle).Size;
}
int TiffMap(thandle_t, void**, toff_t*) {
  return 0;
}
void TiffUnmap(thandle_t, void*, toff_t) {}

int TiffErrorHandler(TIFF*, void* user, const char* module, const char* format, va_list args) {
  TTiffInput& in = *static_cast<TTiffInput*>(user);
  if (in.Message[0] == '\0') {
    char text[200];
    std::vsnprintf(text, sizeof text, format, args);
    std::snprintf(in.Message, sizeof in.Message, "%s%s%s", module ? module : "", module ? ": " : "",
                  text);
  }
  return 1;  // handled: nothing is printed
}

int TiffWarningHandler(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct TTiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct TOptionsFree {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// The paths a picture can be decoded by.
enum class TTiffLayout { Lab, Reduced, GreyOrPalette, Rgb, Cmyk, ThroughRgba };

// What decides the path: the photometric interpretation and the samples' number, depth and kind.
struct TTiffShape {
  std::uint16_t Photometric, Samples, Bits, SampleFormat, Planar, InkSet;

  // Grey, with or without alpha.
  bool Grey() const {
    return (Photometric == PHOTOMETRIC_MINISBLACK || Photometric == PHOTOMETRIC_MINISWHITE) &&
           Samples <= 2;
  }
  bool Palette() const { return Photometric == PHOTOMETRIC_PALETTE && Samples == 1; }
  bool Rgb() const { return Photometric == PHOTOMETRIC_RGB && Samples >= 3; }
  bool ByteDepth() const { return Bits == 8 || Bits == 16; }
  // The depths the grey and palette path unpacks.
  bool PackedDepth() const { return ByteDepth() || Bits == 1 || Bits == 2 || Bits == 4; }
  // Grey the grey and palette path reads: with alpha, only in whole bytes.
  bool DirectGrey() const { return Grey() && PackedDepth() && !(Samples == 2 && Bits < 8); }
  // Grey, palette and RGB pictures at depths the direct paths do not take (and libtiff's renderer
  // refuses): integer samples of any depth up to 32 bits, 16-bit palette indices, and 32- or
  // 64-bit floating point.
  bool NeedsReduction() const {
    switch (SampleFormat) {
      case SAMPLEFORMAT_IEEEFP:
        return Grey() || Rgb();
      case SAMPLEFORMAT_INT:
        return (Grey() || Rgb()) && (ByteDepth() || Bits == 32);
      case SAMPLEFORMAT_UINT:
        return Bits >= 1 && Bits <= 32 &&
               ((Grey() && !DirectGrey()) || (Palette() && Bits == 16) || (Rgb() && !ByteDepth()));
      default:
        return false;
    }
  }
};

// The first path that takes the picture decodes it; libtiff's renderer takes whatever is left.
TTiffLayout ChooseLayout(const TTiffShape& s) {
  if (s.Photometric == PHOTOMETRIC_CIELAB && s.ByteDepth() &&
      s.SampleFormat != SAMPLEFORMAT_IEEEFP) {
    return TTiffLayout::Lab;
  }
  if (s.NeedsReduction()) return TTiffLayout::Reduced;
  if (s.DirectGrey() || (s.Palette() && s.PackedDepth())) return TTiffLayout::GreyOrPalette;
  if (s.Rgb() && s.ByteDepth()) return TTiffLayout::Rgb;
  if (s.Photometric == PHOTOMETRIC_SEPARATED && s.Samples >= 4 && s.Planar == PLANARCONFIG_CONTIG &&
      s.ByteDepth() && s.InkSet == INKSET_CMYK) {
    return TTiffLayout::Cmyk;
  }
  return TTiffLayout::ThroughRgba;
}

class TTiffReader {
 public:
  // Reads only the first rowLimit rows of the picture, and only the parts of the file they need.
  TTiffReader(const TByteReader& input, const std::string& format, int rowLimit,
              const TPixelLimits& limits)
      : FFormat(format),
        FInput{&input, input.Size(), 0, false, {}},
        FLimits(limits),
        FRowLimit(static_cast<std::uint32_t>(std::max(rowLimit, 1))) {}

  TBitmap Decode();
  // The whole picture's height, once decoded.
  std::uint32_t Height() const { return FHeight; }

 private:
  [[noreturn]] void Fail() const {
    if (FInput.ReadPastEnd || EndedEarly(FInput.Message)) throw TruncatedError(FFormat);
    throw LibraryDamagedError(FFormat, FInput.Message);
  }
  // libtiff says only in words that a strip's or tile's data ended before its rows did.
  static bool EndedEarly(const char* message) {
    for (const char* words : {"Not enough data", "Premature EOF", "Premature end",
                              "not terminated with EOI", "Read error"}) {
      if (std::strstr(message, words) != nullptr) return true;
    }
    return false;
  }
  [[noreturn]] void Unsupported(const std::string& what) const {
    throw UnsupportedError(FFormat, what);
  }
  template <typename T>
  T Field(ttag_t tag, T fallback) const {
    T value{};
    return TIFFGetFieldDefaulted(FTif.get(), tag, &value) ? value : fallback;
  }
  void ReadScanline(void* buffer, std::uint32_t row, std::uint16_t sample);
  void PrepareTiles();
  void ReadTileBand(std::uint32_t top, std::uint16_t sample);
  std::vector<TRGBQuad> ColourMap(int bits) const;
  void DecodeGreyOrPalette(TBitmap& bitmap);
  void DecodeRgb(TBitmap& bitmap);
  void DecodeCmyk(TBitmap& bitmap);
  void DecodeThroughRgba(TBitmap& bitmap);
  // The fields that say how the samples are laid out, and the checks they need before a row is
  // read.
  void ReadSampleLayout();
  void ReadSamples(std::uint32_t y, std::uint16_t samples);
  std::uint64_t RawSample(std::uint32_t x, std::uint16_t sample) const;
  std::uint8_t Sample8(std::uint32_t x, std::uint16_t sample) const;
  void DecodeReduced(TBitmap& bitmap);
  void DecodeLab(TBitmap& bitmap);

  // Refuses a picture whose file is too short to hold decodedBytes of its samples, at the best
  // ratio its compression reaches, before room is made for them.
  void RequireData(std::uint64_t decodedBytes) const;

  std::string FFormat;
  TTiffInput FInput;
  TPixelLimits FLimits;
  std::unique_ptr<TIFF, TTiffCloser> FTif;
  std::uint32_t FWidth = 0, FHeight = 0;
  // The rows decoded: all of them, or the first FRowLimit. No strip or tile below them is read.
  std::uint32_t FRowLimit = UINT32_MAX, FRows = 0;
  std::uint16_t FBits = 1, FSamples = 1, FPhotometric = 0, FPlanar = PLANARCONFIG_CONTIG;
  // A tiled file is read one band of tiles (a tile's height across the picture) at a time and
  // handed out as scanlines, so every depth rule of the strip path applies to it unchanged.
  bool FTiled = false;
  std::uint32_t FTileWidth = 0, FTileLength = 0;
  std::size_t FScanline = 0, FTileRowBytes = 0, FBandStride = 0;
  // One band per sample plane, so that planes read row by row in turn do not evict each other.
  std::vector<std::uint8_t> FTile;
  std::vector<std::vector<std::uint8_t>> FBands;
  std::vector<std::int64_t> FBandTops;
  // The current row's samples for the depths read sample by sample: one interleaved line, or
  // one line per plane.
  std::uint16_t FSampleFormat = SAMPLEFORMAT_UINT;
  std::vector<std::vector<std::uint8_t>> FLines;
  // The fourth sample of an RGB pixel is associated alpha: the colours were multiplied by it.
  bool FPremultiplied = false;
  void Unpremultiply(std::uint8_t* row) const;
};

// Straight colours from colours multiplied by their alpha, on a row of 8-bit blue, green, red
// and alpha, which is what our 32-bit bitmaps hold.
void TTiffReader::Unpremultiply(std::uint8_t* row) const {
  if (!FPremultiplied) return;
  for (std::uint32_t x = 0; x < FWidth; ++x, row += 4) {
    const unsigned alpha = row[3];
    for (int c = 0; c < 3; ++c) {
      row[c] = alpha == 0
                   ? 0
                   : static_cast<std::uint8_t>(std::min(255u, (row[c] * 255u + alpha / 2) / alpha));
    }
  }
}

void TTiffReader::ReadScanline(void* buffer, std::uint32_t row, std::uint16_t sample) {
  if (!FTiled) {
    if (TIFFReadScanline(FTif.get(), buffer, row, sample) < 0) Fail();
    return;
  }
  const std::uint32_t top = row / FTileLength * FTileLength;
  if (sample >= FBandTops.size()) {
    FBandTops.resize(std::size_t{sample} + 1, -1);
    FBands.resize(std::size_t{sample} + 1);
  }
  if (top != FBandTops[sample]) ReadTileBand(top, sample);
  std::memcpy(buffer, FBands[sample].data() + (row - top) * FBandStride, FScanline);
}

// Sizes of one tile and one band, checked against the byte limit before anything is allocated:
// a tile's dimensions come from the file and need not be anywhere near the picture's.
void TTiffReader::PrepareTiles() {
  if (!TIFFGetField(FTif.get(), TIFFTAG_TILEWIDTH, &FTileWidth) ||
      !TIFFGetField(FTif.get(), TIFFTAG_TILELENGTH, &FTileLength) || FTileWidth == 0 ||
      FTileLength == 0) {
    Fail();
  }
  const std::uint64_t limit = FLimits.MaxBytes;
  const auto tileBytes = static_cast<std::uint64_t>(TIFFTileSize64(FTif.get()));
  const auto tileRowBytes = static_cast<std::uint64_t>(TIFFTileRowSize64(FTif.get()));
  const std::uint64_t across = (std::uint64_t{FWidth} + FTileWidth - 1) / FTileWidth;
  if (tileBytes == 0 || tileRowBytes == 0 || tileBytes > limit || across > limit / tileRowBytes ||
      FTileLength > limit / (across * tileRowBytes)) {
    Unsupported(
        TrF("尺寸为 %1x%2 的图块", {std::to_string(FTileWidth), std::to_string(FTileLength)}));
  }
  RequireData(std::max(tileBytes, across * tileRowBytes * std::min(FTileLength, FHeight)));
  FTiled = true;
  FScanline = static_cast<std::size_t>(TIFFScanlineSize64(FTif.get()));
  FTileRowBytes = static_cast<std::size_t>(tileRowBytes);
  FBandStride = static_cast<std::size_t>(across * tileRowBytes);
  // Room for whole tile rows even where the file's tile size says less.
  FTile.resize(static_cast<std::size_t>(std::max(tileBytes, tileRowBytes * FTileLength)));
}

void TTiffReader::ReadTileBand(std::uint32_t top, std::uint16_t sample) {
  const std::uint32_t rows = std::min(FTileLength, FHeight - top);
  std::vector<std::uint8_t>& band = FBands[sample];
  band.resize(FBandStride * std::min(FTileLength, FHeight));
  for (std::uint32_t x = 0, column = 0; x < FWidth; x += FTileWidth, ++column) {
    const std::uint32_t tile = TIFFComputeTile(FTif.get(), x, top, 0, sample);
    if (TIFFReadEncodedTile(FTif.get(), tile, FTile.data(), static_cast<tmsize_t>(FTile.size())) <
        0) {
      Fail();
    }
    for (std::uint32_t r = 0; r < rows; ++r) {
      std::memcpy(band.data() + r * FBandStride + column * FTileRowBytes,
                  FTile.data() + r * FTileRowBytes, FTileRowBytes);
    }
  }
  FBandTops[sample] = top;
}

// The colour table of a palette image; some writers store 8-bit values in the 16-bit fields.
std::vector<TRGBQuad> TTiffReader::ColourMap(int bits) const {
  std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(FTif.get(), TIFFTAG_COLORMAP, &red, &green, &blue)) {
    throw InvalidPaletteError(FFormat);
  }
  const std::size_t count = std::size_t{1} << bits;
  bool sixteen = false;
  for (std::size_t i = 0; i < count; ++i)
    sixteen |= red[i] > 255 || green[i] > 255 || blue[i] > 255;
  std::vector<TRGBQuad> palette(count);
  for (std::size_t i = 0; i < count; ++i) {
    palette[i] = sixteen
                     ? RGB(Scale16To8(red[i]), Scale16To8(green[i]), Scale16To8(blue[i]))
                     : RGB(static_cast<std::uint8_t>(red[i]), static_cast<std::uint8_t>(green[i]),
                           static_cast<std::uint8_t>(blue[i]));
  }
  return palette;
}

TBitmap TTiffReader::Decode() {
  std::unique_ptr<TIFFOpenOptions, TOptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) throw std::bad_alloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(FLimits.MaxBytes));
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), TiffErrorHandler, &FInput);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), TiffWarningHandler, &FInput);
  // "m": never map the data; libtiff reads it through TiffRead like any stream.
  FTif.reset(TIFFClientOpenExt("picture", "rm", &FInput, TiffRead, TiffWrite, TiffSeek, TiffClose,
                               TiffSize, TiffMap, TiffUnmap, options.get()));
  if (!FTif) {
    std::uint8_t start[4] = {};
    const bool magic =
        FInput.Reader->ReadAt(0, start, 4) &&
        (std::memcmp(start, "II*\0", 4) == 0 || std::memcmp(start, "MM\0*", 4) == 0 ||
         std::memcmp(start, "II+\0", 4) == 0 || std::memcmp(start, "MM\0+", 4) == 0);
    if (!magic) throw InvalidFormatError(FFormat);
    Fail();
  }
  if (!TIFFGetField(FTif.get(), TIFFTAG_IMAGEWIDTH, &FWidth) ||
      !TIFFGetField(FTif.get(), TIFFTAG_IMAGELENGTH, &FHeight)) {
    Fail();
  }
  ReadSampleLayout();

  TBitmap bitmap;
  switch (ChooseLayout({FPhotometric, FSamples, FBits, FSampleFormat, FPlanar,
                        Field<std::uint16_t>(TIFFTAG_INKSET, INKSET_CMYK)})) {
    case TTiffLayout::Lab:
      DecodeLab(bitmap);
      break;
    case TTiffLayout::Reduced:
      DecodeReduced(bitmap);
      break;
    case TTiffLayout::GreyOrPalette:
      DecodeGreyOrPalette(bitmap);
      break;
    case TTiffLayout::Rgb:
      DecodeRgb(bitmap);
      break;
    case TTiffLayout::Cmyk:
      DecodeCmyk(bitmap);
      break;
    case TTiffLayout::ThroughRgba:
      DecodeThroughRgba(bitmap);
      break;
  }
  return bitmap;
}

void TTiffReader::ReadSampleLayout() {
  FBits = Field<std::uint16_t>(TIFFTAG_BITSPERSAMPLE, 1);
  FSamples = Field<std::uint16_t>(TIFFTAG_SAMPLESPERPIXEL, 1);
  FPlanar = Field<std::uint16_t>(TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (!TIFFGetField(FTif.get(), TIFFTAG_PHOTOMETRIC, &FPhotometric)) {
    FPhotometric = FSamples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  }
  CheckPictureSize(FLimits, FFormat, FWidth, FHeight, 32);
  FRows = std::min(FHeight, FRowLimit);
  if (FSamples == 0) Fail();
  // Our scratch lines hold one scanline of the file, which many samples of many bits can make
  // far longer than a row of the bitmap: the same byte limit applies to it.
  const auto scanline = static_cast<std::uint64_t>(TIFFScanlineSize64(FTif.get()));
  if (scanline > FLimits.MaxBytes) {
    Unsupported(TrF("%1 个 %2 位采样的像素", {std::to_string(FSamples), std::to_string(FBits)}));
  }
  RequireData(scanline * FRows * (FPlanar == PLANARCONFIG_SEPARATE ? FSamples : 1));
  FSampleFormat = Field<std::uint16_t>(TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  std::uint16_t extraCount = 0;
  std::uint16_t* extraTypes = nullptr;
  FPremultiplied = FPhotometric == PHOTOMETRIC_RGB && FSamples >= 4 &&
                   TIFFGetField(FTif.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) &&
                   extraCount > 0 && extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
  if (FSampleFormat == SAMPLEFORMAT_IEEEFP && FBits != 32 && FBits != 64) {
    Unsupported(TrF("%1 位浮点采样", {std::to_string(FBits)}));
  }
  if (TIFFIsTiled(FTif.get())) PrepareTiles();
}

void TTiffReader::RequireData(std::uint64_t decodedBytes) const {
  const auto scanline = static_cast<std::uint64_t>(TIFFScanlineSize64(FTif.get()));
  std::uint64_t ratio = 4096;  // LZW (a code of 9 bits or more gives at most 4096 bytes), the rest
  switch (Field<std::uint16_t>(TIFFTAG_COMPRESSION, COMPRESSION_NONE)) {
    case COMPRESSION_NONE:
      ratio = 1;
      break;
    case COMPRESSION_PACKBITS:
      ratio = 64;  // two bytes repeat a byte up to 128 times
      break;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
      ratio = 1032;
      break;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
      ratio = 8 * std::max<std::uint64_t>(scanline, 1);  // a blank row may take a single bit
      break;
    default:
      break;
  }
  if (CeilDiv(decodedBytes, ratio) > FInput.Size) throw TruncatedError(FFormat);
}

void TTiffReader::ReadSamples(std::uint32_t y, std::uint16_t samples) {
  const auto scanline = static_cast<std::size_t>(TIFFScanlineSize64(FTif.get()));
  const std::size_t planes = FPlanar == PLANARCONFIG_SEPARATE ? samples : 1;
  FLines.resize(planes);
  for (std::size_t p = 0; p < planes; ++p) {
    FLines[p].resize(scanline);
    ReadScanline(FLines[p].data(), y, static_cast<std::uint16_t>(p));
  }
}

// libtiff hands 8-, 16-, 24-, 32- and 64-bit samples over whole and in the machine's byte order;
// any other depth stays packed, most significant bit first, each row starting on a byte.
std::uint64_t TTiffReader::RawSample(std::uint32_t x, std::uint16_t sample) const {
  const bool planar = FPlanar == PLANARCONFIG_SEPARATE;
  const std::vector<std::uint8_t>& line = FLines[planar ? sample : 0];
  const std::uint64_t index = planar ? x : std::uint64_t{x} * FSamples + sample;
  if (FBits % 8 == 0) {
    const std::uint8_t* p = line.data() + index * (FBits / 8);
    std::uint64_t v = 0;
    for (unsigned i = 0; i < FBits / 8u; ++i) {
      const unsigned shift = std::endian::native == std::endian::little ? 8 * i : FBits - 8 - 8 * i;
      v |= std::uint64_t{p[i]} << shift;
    }
    return v;
  }
  std::uint64_t v = 0;
  for (std::uint64_t bit = index * FBits, end = bit + FBits; bit < end; ++bit) {
    v = (v << 1) | ((line[bit / 8] >> (7 - bit % 8)) & 1u);
  }
  return v;
}

// A sample reduced to 8 bits as 16-bit samples are, round(v x 255 / max); floating-point
// samples are clamped to 0..1 first. Signed samples are levels of 0 to 255 as they stand,
// clamped: that is what the pictures that use them hold (a 32-bit integer picture of Pillow's,
// a 16-bit PGM among them), where their whole range would leave every such picture black.
std::uint8_t TTiffReader::Sample8(std::uint32_t x, std::uint16_t sample) const {
  const std::uint64_t raw = RawSample(x, sample);
  if (FSampleFormat == SAMPLEFORMAT_IEEEFP) {
    double v = 0;
    if (FBits == 32) {
      v = std::bit_cast<float>(static_cast<std::uint32_t>(raw));
    } else {
      v = std::bit_cast<double>(raw);
    }
    if (!(v > 0)) return 0;  // NaN included
    return static_cast<std::uint8_t>(std::lround(std::min(v, 1.0) * 255));
  }
  if (FSampleFormat == SAMPLEFORMAT_INT) {
    const std::uint64_t sign = std::uint64_t{1} << (FBits - 1);
    const auto value = static_cast<std::int64_t>(raw ^ sign) - static_cast<std::int64_t>(sign);
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
  }
  return ScaleToByte(raw, (std::uint64_t{1} << FBits) - 1);
}

// Grey (8-bit with a grey palette), 16-bit palette (24-bit: a bitmap's palette holds 256 colours)
// and RGB (24-bit, or 32-bit when an alpha sample follows), each sample reduced to 8 bits.
void TTiffReader::DecodeReduced(TBitmap& bitmap) {
  const bool palette = FPhotometric == PHOTOMETRIC_PALETTE;
  const bool rgb = FPhotometric == PHOTOMETRIC_RGB;
  const int channels = rgb ? (FSamples >= 4 ? 4 : 3) : 1;
  bitmap.Allocate(static_cast<int>(FWidth), static_cast<int>(FRows), palette ? 24 : channels * 8);
  std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  bool eightBitMap = false;  // some writers store 8-bit values in the 16-bit fields
  if (palette) {
    if (!TIFFGetField(FTif.get(), TIFFTAG_COLORMAP, &red, &green, &blue)) {
      throw InvalidPaletteError(FFormat);
    }
    eightBitMap = std::all_of(red, red + 65536, [](std::uint16_t v) { return v < 256; }) &&
                  std::all_of(green, green + 65536, [](std::uint16_t v) { return v < 256; }) &&
                  std::all_of(blue, blue + 65536, [](std::uint16_t v) { return v < 256; });
  } else if (!rgb) {
    bitmap.Palette() = GreyPalette();
    if (FPhotometric == PHOTOMETRIC_MINISWHITE)
      std::reverse(bitmap.Palette().begin(), bitmap.Palette().end());
  }
  auto map = [eightBitMap](std::uint16_t v) {
    return eightBitMap ? static_cast<std::uint8_t>(v) : Scale16To8(v);
  };
  static const int kTarget[] = {2, 1, 0, 3};  // red, green, blue, alpha to bytes 2, 1, 0, 3
  for (std::uint32_t y = 0; y < FRows; ++y) {
    ReadSamples(y, static_cast<std::uint16_t>(channels));
    std::uint8_t* row = bitmap.RowAt(static_cast<int>(y));
    for (std::uint32_t x = 0; x < FWidth; ++x) {
      if (palette) {
        const auto i = static_cast<std::size_t>(RawSample(x, 0));
        row[3 * x] = map(blue[i]);
        row[3 * x + 1] = map(green[i]);
        row[3 * x + 2] = map(red[i]);
        continue;
      }
      for (int c = 0; c < channels; ++c) {
        const std::uint8_t v = Sample8(x, static_cast<std::uint16_t>(c));
        row[x * channels + (rgb ? kTarget[c] : 0)] = v;
      }
    }
    Unpremultiply(row);
  }
}

// CIE L*a*b* relative to the D50 white, to sRGB: L over the sample's whole range is 0..100, a and
// b are signed (in 256ths at 16 bits).
void TTiffReader::DecodeLab(TBitmap& bitmap) {
  bitmap.Allocate(static_cast<int>(FWidth), static_cast<int>(FRows), 24);
  const std::uint16_t samples = std::min<std::uint16_t>(FSamples, 3);
  const double lMax = FBits == 16 ? 65535.0 : 255.0, abScale = FBits == 16 ? 256.0 : 1.0;
  for (std::uint32_t y = 0; y < FRows; ++y) {
    ReadSamples(y, samples);
    std::uint8_t* row = bitmap.RowAt(static_cast<int>(y));
    for (std::uint32_t x = 0; x < FWidth; ++x) {
      const double l = static_cast<double>(RawSample(x, 0)) * 100 / lMax;
      double ab[2] = {0, 0};
      for (std::uint16_t s = 1; s < samples; ++s) {
        const std::uint64_t raw = RawSample(x, s);
        const double v =
            FBits == 16 ? static_cast<std::int16_t>(raw) : static_cast<std::int8_t>(raw);
        ab[s - 1] = v / abScale;
      }
      const TRGBQuad c = LabToSrgb(l, ab[0], ab[1], TSrgbPrecision::Tabulated);
      row[3 * x] = c.Blue;
      row[3 * x + 1] = c.Green;
      row[3 * x + 2] = c.Red;
    }
  }
}

// 1 bit: 1-bit; 2 and 4 bits: 4-bit; 8 and 16 bits: 8-bit; a second (alpha) sample is dropped.
void TTiffReader::DecodeGreyOrPalette(TBitmap& bitmap) {
  const int bpp = FBits == 1 ? 1 : FBits <= 4 ? 4 : 8;
  const int paletteBits = std::min<int>(FBits, 8);
  std::vector<TRGBQuad> palette;
  if (FPhotometric == PHOTOMETRIC_PALETTE) {
    if (FBits == 16) Unsupported(Tr("16 位调色板"));
    palette = ColourMap(FBits);
  } else {
    palette =
        GreyPalette(paletteBits, FPhotometric == PHOTOMETRIC_MINISWHITE ? TGreyRamp::WhiteFirst
                                                                        : TGreyRamp::BlackFirst);
  }
  bitmap.Allocate(static_cast<int>(FWidth), static_cast<int>(FRows), bpp);
  bitmap.Palette() = std::move(palette);

  const auto scanline = static_cast<std::uint64_t>(TIFFScanlineSize64(FTif.get()));
  const bool direct = FSamples == 1 && FBits <= 8 && scanline <= bitmap.RowLength();
  std::vector<std::uint8_t> scratch(direct ? 0 : scanline);
  const std::span<std::uint8_t> bits = bitmap.MutableBits();
  for (std::uint32_t y = 0; y < FRows; ++y) {
    std::uint8_t* row = bits.data() + y * bitmap.RowLength();
    if (direct) {
      ReadScanline(row, y, 0);
      if (FBits == 2) Expand2To4(row, FWidth);
      continue;
    }
    // Grey with alpha, 16-bit samples or both: the first sample of each pixel, reduced to 8 bits.
    // With separate planes the first plane holds exactly those samples.
    ReadScanline(scratch.data(), y, 0);
    const std::size_t stride = FPlanar == PLANARCONFIG_SEPARATE ? 1 : FSamples;
    if (FBits == 16) {
      const auto* samples = reinterpret_cast<const std::uint16_t*>(scratch.data());
      for (std::uint32_t x = 0; x < FWidth; ++x) row[x] = Scale16To8(samples[x * stride]);
    } else {
      for (std::uint32_t x = 0; x < FWidth; ++x) row[x] = scratch[x * stride];
    }
  }
}

// RGB at 8 or 16 bits: 24-bit, or 32-bit when an extra (alpha) sample follows.
void TTiffReader::DecodeRgb(TBitmap& bitmap) {
  const int channels = FSamples >= 4 ? 4 : 3;
  bitmap.Allocate(static_cast<int>(FWidth), static_cast<int>(FRows), channels * 8);
  const std::span<std::uint8_t> bits = bitmap.MutableBits();
  const auto scanline = static_cast<std::uint64_t>(TIFFScanlineSize64(FTif.get()));
  // The file's red, green, blue, alpha go to the bitmap's bytes 2, 1, 0, 3.
  static const int kTarget[] = {2, 1, 0, 3};

  if (FPlanar == PLANARCONFIG_SEPARATE) {
    std::vector<std::uint8_t> scratch(scanline);
    for (int s = 0; s < channels; ++s) {
      for (std::uint32_t y = 0; y < FRows; ++y) {
        ReadScanline(scratch.data(), y, static_cast<std::uint16_t>(s));
        std::uint8_t* out = bits.data() + y * bitmap.RowLength() + kTarget[s];
        if (FBits == 16) {
          const auto* samples = reinterpret_cast<const std::uint16_t*>(scratch.data());
          for (std::uint32_t x = 0; x < FWidth; ++x) out[x * channels] = Scale16To8(samples[x]);
        } else {
          for (std::uint32_t x = 0; x < FWidth; ++x) out[x * channels] = scratch[x];
        }
      }
    }
    for (std::uint32_t y = 0; y < FRows; ++y) Unpremultiply(bits.data() + y * bitmap.RowLength());
    return;
  }
  // 8-bit samples that fit the bitmap's row exactly are read in place and turned into
  // blue, green, red; anything else goes through one scratch line.
  const bool direct = FBits == 8 && FSamples == channels && scanline <= bitmap.RowLength();
  std::vector<std::uint8_t> scratch(direct ? 0 : scanline);
  for (std::uint32_t y = 0; y < FRows; ++y) {
    std::uint8_t* row = bits.data() + y * bitmap.RowLength();
    if (direct) {
      ReadScanline(row, y, 0);
      for (std::uint32_t x = 0; x < FWidth; ++x)
        std::swap(row[x * channels], row[x * channels + 2]);
      Unpremultiply(row);
      continue;
    }
    ReadScanline(scratch.data(), y, 0);
    for (std::uint32_t x = 0; x < FWidth; ++x) {
      std::uint8_t* out = row + x * channels;
      for (int s = 0; s < channels; ++s) {
        const std::size_t at = static_cast<std::size_t>(x) * FSamples + s;
        out[kTarget[s]] =
            FBits == 16 ? Scale16To8(reinterpret_cast<const std::uint16_t*>(scratch.data())[at])
                        : scratch[at];
      }
    }
    Unpremultiply(row);
  }
}

// CMYK with interleaved 8- or 16-bit samples (libtiff's renderer takes only 8 bits): 24-bit,
// each ink subtracted from white.
void TTiffReader::DecodeCmyk(TBitmap& bitmap) {
  bitmap.Allocate(static_cast<int>(FWidth), static_cast<int>(FRows), 24);
  const std::span<std::uint8_t> bits = bitmap.MutableBits();
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(TIFFScanlineSize64(FTif.get())));
  const auto* wide = reinterpret_cast<const std::uint16_t*>(scratch.data());
  for (std::uint32_t y = 0; y < FRows; ++y) {
    ReadScanline(scratch.data(), y, 0);
    std::uint8_t* out = bits.data() + y * bitmap.RowLength();
    for (std::uint32_t x = 0; x < FWidth; ++x, out += 3) {
      unsigned ink[4];
      for (int s = 0; s < 4; ++s) {
        const std::size_t at = static_cast<std::size_t>(x) * FSamples + s;
        ink[s] = FBits == 16 ? Scale16To8(wide[at]) : scratch[at];
      }
      const unsigned white = 255 - ink[3];
      out[0] = static_cast<std::uint8_t>(((255 - ink[2]) * white + 127) / 255);
      out[1] = static_cast<std::uint8_t>(((255 - ink[1]) * white + 127) / 255);
      out[2] = static_cast<std::uint8_t>(((255 - ink[0]) * white + 127) / 255);
    }
  }
}

// CIE L*a*b*, YCbCr, separate CMYK planes and the remaining variants libtiff can render: 24-bit
// (32-bit for RGB with alpha), one strip at a time through libtiff's RGBA renderer.
void TTiffReader::DecodeThroughRgba(TBitmap& bitmap) {
  // libtiff's reason is English; the user gets the variant in our own words.
  char message[1024] = "";
  const std::string variant =
      TrF("颜色空间 %1、%2 个 %3 位采样的像素",
          {std::to_string(FPhotometric), std::to_string(FSamples), std::to_string(FBits)});
  if (!TIFFRGBAImageOK(FTif.get(), message)) Unsupported(variant);
  TIFFRGBAImage image{};
  if (!TIFFRGBAImageBegin(&image, FTif.get(), 1, message)) Unsupported(variant);
  struct TEnd {
    TIFFRGBAImage* Image;
    ~TEnd() { TIFFRGBAImageEnd(Image); }
  } end{&image};
  image.req_orientation = ORIENTATION_TOPLEFT;

  const bool alpha = FPhotometric == PHOTOMETRIC_RGB && FSamples >= 4;
  const int channels = alpha ? 4 : 3;
  bitmap.Allocate(static_cast<int>(FWidth), static_cast<int>(FRows), channels * 8);
  const std::span<std::uint8_t> bits = bitmap.MutableBits();
  const std::uint32_t band =
      FTiled ? FTileLength : Field<std::uint32_t>(TIFFTAG_ROWSPERSTRIP, FHeight);
  const std::uint32_t strip = std::clamp<std::uint32_t>(band, 1, FHeight);
  RequireData(static_cast<std::uint64_t>(TIFFScanlineSize64(FTif.get())) * strip);
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(FWidth) * strip);
  // libtiff turns each band it renders upside down for a file whose first row is the picture's
  // bottom one, but takes the band's rows from row_offset in the file's own order: the band of
  // the picture's rows y.. is then the one counted from the file's end.
  const bool bottomFirst =
      image.orientation == ORIENTATION_BOTLEFT || image.orientation == ORIENTATION_BOTRIGHT ||
      image.orientation == ORIENTATION_LEFTBOT || image.orientation == ORIENTATION_RIGHTBOT;
  // The same bands as for the whole picture, so that the rows come out as they would there.
  for (std::uint32_t y = 0; y < FRows; y += strip) {
    const std::uint32_t rows = std::min(strip, FHeight - y);
    image.row_offset = static_cast<int>(bottomFirst ? FHeight - y - rows : y);
    image.col_offset = 0;
    if (!TIFFRGBAImageGet(&image, raster.data(), FWidth, rows)) Fail();
    for (std::uint32_t r = 0; r < rows && y + r < FRows; ++r) {
      const std::uint32_t* in = raster.data() + static_cast<std::size_t>(r) * FWidth;
      std::uint8_t* out = bits.data() + (y + r) * bitmap.RowLength();
      for (std::uint32_t x = 0; x < FWidth; ++x, out += channels) {
        out[0] = static_cast<std::uint8_t>(TIFFGetB(in[x]));
        out[1] = static_cast<std::uint8_t>(TIFFGetG(in[x]));
        out[2] = static_cast<std::uint8_t>(TIFFGetR(in[x]));
        if (alpha) out[3] = static_cast<std::uint8_t>(TIFFGetA(in[x]));
      }
    }
  }
}

}  // namespace

void TTIFFGraphic::LoadTIFF(std::span<const std::uint8_t> data, const std::string& format) {
  const TByteReader input(data, format);
  TTiffReader reader(input, format, INT_MAX, Limits());
  TBitmap::operator=(reader.Decode());
}

void TTIFFGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  LoadTIFF(data, "TIFF");
}

std::optional<int> TTIFFGraphic::LoadFirstRows(const std::string& fileName, int rowCount) {
  // A class built on this one (a preview inside another file) finds its TIFF data itself.
  if (&ClassType() != &TTIFFGraphic::ClassInfo) return std::nullopt;
  const TPictureFile file(fileName, Limits());
  const TByteReader input(file, "TIFF");
  TTiffReader reader(input, "TIFF", rowCount, Limits());
  TBitmap bitmap = reader.Decode();
  TBitmap::operator=(std::move(bitmap));
  return static_cast<int>(reader.Height());
}

}  // namespace pennacrow
