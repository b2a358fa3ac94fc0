#include "formats/AutodeskGraphic.h"
#include "base/Translate.h"

#include <algorithm>

#include "picture/ByteReader.h"
#include "picture/Colour.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TAutodeskGraphic::ClassInfo{
    "TAutodeskGraphic", &TExtraFormatGraphic::ClassInfo,
    [] { return std::unique_ptr<TGraphic>(new TAutodeskGraphic); }};

namespace {

const char* const kFormat = "Autodesk";
constexpr std::uint16_t kMagic = 0x9119;
// Magic, width, height, x and y offset, depth, compression, image size, 16 reserved bytes.
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kPaletteSize = 256 * 3;

struct THeader {
  int Width = 0, Height = 0;
  std::uint32_t ImageSize = 0;  // 0, or at least the pixels' bytes
};

// The header, checked; the reader is left after it.
THeader ReadHeader(TByteReader& in, const TPixelLimits& limits) {
  if (in.Size() < 2 || in.U16LE() != kMagic) throw InvalidFormatError(kFormat);
  THeader h;
  h.Width = in.U16LE();
  h.Height = in.U16LE();
  in.Skip(4);  // position on the screen
  const std::uint8_t depth = in.U8();
  const std::uint8_t compression = in.U8();
  h.ImageSize = in.U32LE();
  in.Seek(kHeaderSize);
  if (depth != 8) throw UnsupportedError(kFormat, TrF("%1 位像素", {std::to_string(depth)}));
  if (compression != 0) {
    throw UnsupportedError(kFormat, TrF("压缩方式 %1", {std::to_string(compression)}));
  }
  if (h.Width == 0 || h.Height == 0) throw InvalidFormatError(kFormat);
  CheckPictureSize(limits, kFormat, h.Width, h.Height, 8);
  return h;
}

}  // namespace

bool TAutodeskGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  return ReadsWithoutRefusal([head] {
    TByteReader in(head, kFormat);
    ReadHeader(in, kNoPixelLimits);
  });
}

void TAutodeskGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  const auto [width, height, imageSize] = ReadHeader(in, Limits());
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (imageSize != 0 && imageSize < pixels) {
    throw DamagedError(kFormat, Tr("图像大小与尺寸不符"));
  }
  if (kPaletteSize + pixels > in.Remaining()) throw TruncatedError(kFormat);

  TBitmap picture(width, height, 8);
  const auto palette = in.Bytes(kPaletteSize);
  if (std::any_of(palette.begin(), palette.end(), [](std::uint8_t v) { return v > 63; })) {
    throw InvalidPaletteError(kFormat);
  }
  // Six-bit components: 63 is full brightness.
  auto scale = [](std::uint8_t v) { return ScaleToByte(v, 63); };
  for (std::size_t i = 0; i < 256; ++i) {
    picture.Palette().push_back(
        RGB(scale(palette[3 * i]), scale(palette[3 * i + 1]), scale(palette[3 * i + 2])));
  }
  for (int y = 0; y < height; ++y) {
    const auto row = in.Bytes(static_cast<std::uint64_t>(width));
    std::copy(row.begin(), row.end(), picture.RowAt(y));
  }
  Assign(picture);
}

}  // namespace pennacrow
