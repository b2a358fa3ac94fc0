#include "formats/GIFImage.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/Translate.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TGIFImage::ClassInfo{"TGIFImage", &TGraphic::ClassInfo,
                                         [] { return std::unique_ptr<TGraphic>(new TGIFImage); }};

namespace {

const char* const kFormat = "GIF";

// Frames of 2 to 8 bits per pixel take one fixed depth; 24 bits keeps every byte of the
// picture in a layout that a PNG save writes back unchanged.
constexpr int kTrueColourDepth = 24;

// An LZW code of 12 bits stands for at most 4096 pixels, and shorter codes for fewer: a frame
// of more pixels than this many per byte of the data left is refused before it is allocated.
constexpr std::uint64_t kLzwPixelsPerByte = 2731;
// The logical screen around the frame costs no data at all; beyond this many pixels of it the
// frame is shown on its own, as some viewers do, rather than on a screen its data cannot fill.
constexpr std::uint64_t kBackgroundPixels = std::uint64_t{1} << 22;

struct TGifInput {
  const std::uint8_t* Data;
  std::size_t Size;
  std::size_t Position;
  bool ReadPastEnd;  // giflib asked for bytes beyond the end of the file
};

int GifRead(GifFileType* gif, GifByteType* out, int length) {
  auto* input = static_cast<TGifInput*>(gif->UserData);
  const std::size_t n =
      std::min<std::size_t>(static_cast<std::size_t>(length), input->Size - input->Position);
  if (n < static_cast<std::size_t>(length)) input->ReadPastEnd = true;
  std::memcpy(out, input->Data + input->Position, n);
  input->Position += n;
  return static_cast<int>(n);
}

struct TGifCloser {
  void operator()(GifFileType* gif) const {
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
  }
};
using TGifFile = std::unique_ptr<GifFileType, TGifCloser>;

[[noreturn]] void RaiseGifError(int code, const TGifInput& input) {
  if (input.ReadPastEnd && code != D_GIF_ERR_NOT_GIF_FILE) {
    throw TruncatedError(kFormat);
  }
  switch (code) {
    case D_GIF_ERR_NOT_GIF_FILE:
      throw InvalidFormatError(kFormat);
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON:
      throw TruncatedError(kFormat);
    case D_GIF_ERR_NOT_ENOUGH_MEM:
      throw std::bad_alloc();
    default: {
      const char* reason = GifErrorString(code);
      throw LibraryDamagedError(kFormat, reason ? reason : "");
    }
  }
}

void Check(GifFileType* gif, int result) {
  if (result == GIF_ERROR) RaiseGifError(gif->Error, *static_cast<TGifInput*>(gif->UserData));
}

TRGBQuad MapColour(const ColorMapObject& map, int index) {
  if (index < 0 || index >= map.ColorCount) return {};
  const GifColorType& c = map.Colors[index];
  return RGB(c.Red, c.Green, c.Blue);
}

// The records up to the first image; a graphic control extension before it carries the
// frame's transparent colour.
GraphicsControlBlock SkipToImage(GifFileType* gif, const TGifInput& input) {
  GraphicsControlBlock control{};
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    Check(gif, DGifGetRecordType(gif, &record));
    if (record == TERMINATE_RECORD_TYPE) throw DamagedError(kFormat, Tr("文件里没有图像"));
    if (record == IMAGE_DESC_RECORD_TYPE) break;
    if (record != EXTENSION_RECORD_TYPE) RaiseGifError(D_GIF_ERR_WRONG_RECORD, input);
    int code = 0;
    GifByteType* block = nullptr;
    Check(gif, DGifGetExtension(gif, &code, &block));
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
      DGifExtensionToGCB(block[0], block + 1, &control);
    }
    while (block != nullptr) Check(gif, DGifGetExtensionNext(gif, &block));
  }
  // The library refuses a minimum code size above 8 as a failed read, after it has read the
  // descriptor and that byte; our own LZW decoder takes such frames. A read that really ran out
  // is still truncation.
  if (DGifGetImageDesc(gif) == GIF_ERROR &&
      (gif->Error != D_GIF_ERR_READ_FAILED || input.ReadPastEnd)) {
    RaiseGifError(gif->Error, input);
  }
  return control;
}

// Where the frame lies on the canvas.
struct TOrigin {
  int Left = 0, Top = 0;
};

// The logical screen, widened when the frame reaches beyond it, as viewers show it, filled
// with the background colour: 1-bit for two-colour pictures, else 24-bit.
TBitmap Canvas(const GifFileType& gif, const ColorMapObject& map, const TPixelLimits& limits,
               TOrigin& origin) {
  const GifImageDesc& frame = gif.Image;
  origin = {frame.Left, frame.Top};
  std::int64_t width = std::max<std::int64_t>(gif.SWidth, std::int64_t{frame.Left} + frame.Width);
  std::int64_t height = std::max<std::int64_t>(gif.SHeight, std::int64_t{frame.Top} + frame.Height);
  if (static_cast<std::uint64_t>(width * height) - std::uint64_t{1} * frame.Width * frame.Height >
      kBackgroundPixels) {
    origin = {};
    width = frame.Width;
    height = frame.Height;
  }
  const bool oneBit = map.BitsPerPixel == 1 && map.ColorCount <= 2;
  const int bpp = oneBit ? 1 : kTrueColourDepth;
  CheckPictureSize(limits, kFormat, width, height, bpp);
  TBitmap bitmap;
  bitmap.Allocate(static_cast<int>(width), static_cast<int>(height), bpp);
  const int background = gif.SBackGroundColor;
  if (oneBit) {
    for (int i = 0; i < map.ColorCount; ++i) bitmap.Palette().push_back(MapColour(map, i));
    if (bitmap.Palette().size() < 2) bitmap.Palette().resize(2);
    if (background == 1) std::fill(bitmap.MutableBits().begin(), bitmap.MutableBits().end(), 0xFF);
    return bitmap;
  }
  const TRGBQuad fill = MapColour(map, background);
  if (fill == TRGBQuad{}) return bitmap;
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* row = bitmap.RowAt(y);
    for (int x = 0; x < bitmap.Width(); ++x, row += 3) {
      row[0] = fill.Blue;
      row[1] = fill.Green;
      row[2] = fill.Red;
    }
  }
  return bitmap;
}

// One line of the frame's indices into its row of the canvas.
void StoreLine(const GifImageDesc& frame, TOrigin origin, const ColorMapObject& map,
               const std::vector<std::uint16_t>& line, int frameRow, TBitmap& bitmap) {
  std::uint8_t* row = bitmap.RowAt(origin.Top + frameRow);
  const bool oneBit = bitmap.BitsPerPixel() == 1;
  for (int x = 0; x < frame.Width; ++x) {
    const int px = origin.Left + x;
    if (oneBit) {
      const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (px & 7));
      row[px >> 3] = (line[x] & 1) ? (row[px >> 3] | bit) : (row[px >> 3] & ~bit);
    } else {
      const TRGBQuad c = MapColour(map, line[x]);
      std::uint8_t* p = row + 3 * static_cast<std::size_t>(px);
      p[0] = c.Blue;
      p[1] = c.Green;
      p[2] = c.Red;
    }
  }
}

// The frame's LZW data: codes of growing width, least significant bit first, in sub-blocks.
// We decode it ourselves because writers do two things the format allows that the library
// refuses: a minimum code size above 8 (codes still stop at 12 bits), and a table that fills up
// and stays full until the encoder sends a clear code much later (a deferred clear).
class TLzwDecoder {
 public:
  // The library has read the image descriptor and the code size byte after it; the sub-blocks
  // follow in the input.
  explicit TLzwDecoder(const TGifInput& input)
      : FData(input.Data), FSize(input.Size), FPos(input.Position) {
    const int minSize = FPos > 0 ? FData[FPos - 1] : 0;
    if (minSize < 1 || minSize > 11) {
      throw DamagedError(kFormat, TrF("LZW 码长 %1", {std::to_string(minSize)}));
    }
    FMinSize = minSize;
    FClear = 1 << minSize;
    for (int i = 0; i < FClear; ++i) FFirst[i] = static_cast<std::uint16_t>(i);
    Reset();
  }

  void ReadLine(std::uint16_t* out, int width) {
    for (int x = 0; x < width;) {
      if (FStack.empty()) Expand();
      while (!FStack.empty() && x < width) {
        out[x++] = FStack.back();
        FStack.pop_back();
      }
    }
  }

 private:
  static constexpr int kTableSize = 4096;  // 12-bit codes

  void Reset() {
    FCodeSize = FMinSize + 1;
    FNext = FClear + 2;
    FPrev = -1;
  }

  // The next code, or -1 at the sub-blocks' terminator.
  int NextCode() {
    while (FBitCount < FCodeSize) {
      if (FBlockLeft == 0) {
        if (FPos >= FSize) throw TruncatedError(kFormat);
        FBlockLeft = FData[FPos++];
        if (FBlockLeft == 0) return -1;
      }
      if (FPos >= FSize) throw TruncatedError(kFormat);
      FBits |= std::uint32_t{FData[FPos++]} << FBitCount;
      --FBlockLeft;
      FBitCount += 8;
    }
    const int code = static_cast<int>(FBits & ((1u << FCodeSize) - 1));
    FBits >>= FCodeSize;
    FBitCount -= FCodeSize;
    return code;
  }

  // Decodes codes until one yields pixels, pushed last pixel first onto the stack.
  void Expand() {
    for (;;) {
      const int code = NextCode();
      // The data ends (or says it does) before the frame is whole.
      if (code < 0 || code == FClear + 1) throw TruncatedError(kFormat);
      if (code == FClear) {
        Reset();
        continue;
      }
      int entry = code;
      if (FPrev < 0) {
        if (code > FClear) throw DamagedError(kFormat, Tr("LZW 编码"));
        FStack.push_back(static_cast<std::uint16_t>(code));
        FPrev = code;
        return;
      }
      if (code > FNext || (code == FNext && FNext == kTableSize)) {
        throw DamagedError(kFormat, Tr("LZW 编码"));
      }
      if (code == FNext) {  // the entry being defined: the previous string and its own first
        FStack.push_back(FFirst[FPrev]);
        entry = FPrev;
      }
      const std::uint16_t first = Push(entry);
      if (FNext < kTableSize) {
        FPrefix[FNext] = static_cast<std::uint16_t>(FPrev);
        FSuffix[FNext] = first;
        FFirst[FNext] = FFirst[FPrev];
        if (++FNext == (1 << FCodeSize) && FCodeSize < 12) ++FCodeSize;
      }
      FPrev = code;
      return;
    }
  }

  // Pushes a table entry's string, last pixel first; returns its first pixel.
  std::uint16_t Push(int code) {
    while (code > FClear + 1) {
      FStack.push_back(FSuffix[code]);
      code = FPrefix[code];
    }
    FStack.push_back(static_cast<std::uint16_t>(code));
    return static_cast<std::uint16_t>(code);
  }

  const std::uint8_t* FData;
  std::size_t FSize, FPos;
  std::size_t FBlockLeft = 0;  // bytes of the current sub-block not yet taken
  std::uint32_t FBits = 0;
  int FBitCount = 0, FMinSize = 0, FClear = 0, FCodeSize = 0, FNext = 0, FPrev = -1;
  std::array<std::uint16_t, kTableSize> FPrefix{}, FSuffix{}, FFirst{};
  std::vector<std::uint16_t> FStack;
};

// The frame's lines in stored order: interlaced frames come in four passes.
void ReadFrame(GifFileType* gif, const TGifInput& input, const ColorMapObject& map, TOrigin origin,
               TBitmap& bitmap) {
  const GifImageDesc& frame = gif->Image;
  // One scratch line of indices; each goes into its row of the bitmap as soon as it is read.
  std::vector<std::uint16_t> line(static_cast<std::size_t>(frame.Width));
  TLzwDecoder codes(input);
  static const int kStart[] = {0, 4, 2, 1};
  static const int kStep[] = {8, 8, 4, 2};
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = frame.Interlace ? kStart[pass] : 0;
    const int step = frame.Interlace ? kStep[pass] : 1;
    for (int y = start; y < frame.Height; y += step) {
      codes.ReadLine(line.data(), frame.Width);
      StoreLine(frame, origin, map, line, y, bitmap);
    }
  }
}

// A frame without any colour table: common decoders show its indices as grey levels.
const ColorMapObject& GreyRamp() {
  static const std::array<GifColorType, 256> colours = [] {
    std::array<GifColorType, 256> c{};
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<GifByteType>(i);
      c[i] = {v, v, v};
    }
    return c;
  }();
  static const ColorMapObject map{256, 8, false, const_cast<GifColorType*>(colours.data())};
  return map;
}

}  // namespace

void TGIFImage::LoadFromBytes(std::span<const std::uint8_t> data) {
  if (data.size() < 6 || std::memcmp(data.data(), "GIF", 3) != 0) {
    throw InvalidFormatError(kFormat);
  }
  TGifInput input{data.data(), data.size(), 0, false};
  int error = 0;
  TGifFile gif(DGifOpen(&input, GifRead, &error));
  if (!gif) RaiseGifError(error, input);
  const GraphicsControlBlock control = SkipToImage(gif.get(), input);
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (map == nullptr) map = &GreyRamp();
  if (map->ColorCount <= 0) throw InvalidPaletteError(kFormat);
  CheckPictureSize(Limits(), kFormat, frame.Width, frame.Height, kTrueColourDepth);
  if (frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0) {
    throw DamagedError(kFormat, Tr("帧的位置或尺寸无效"));
  }
  if (std::uint64_t{1} * frame.Width * frame.Height >
      kLzwPixelsPerByte * (input.Size - input.Position)) {
    throw TruncatedError(kFormat);
  }
  TOrigin origin;
  TBitmap bitmap = Canvas(*gif, *map, Limits(), origin);
  ReadFrame(gif.get(), input, *map, origin, bitmap);
  if (control.TransparentColor != NO_TRANSPARENT_COLOR) {
    bitmap.SetTransparent(true, MapColour(*map, control.TransparentColor));
  }
  FBitmap = std::move(bitmap);
}

}  // namespace pennacrow
