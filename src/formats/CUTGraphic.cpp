#include "formats/CUTGraphic.h"
#include "text/Translate.h"

#include <sys/stat.h>

#include <algorithm>

#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TCUTGraphic::ClassInfo{"TCUTGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TCUTGraphic);
                                           }};

namespace {

const char* const kFormat = "CUT";
constexpr std::size_t kHeaderSize = 6;
// One run byte plus its value yields at most 127 pixels, and each row has a 2-byte length.
constexpr std::uint64_t kMaxRun = 127;

// The palette file: a 40-byte header, then 16-bit red, green, blue triples packed in 512-byte
// blocks that no triple straddles.
constexpr std::size_t kPaletteHeaderSize = 40;
constexpr std::size_t kPaletteBlock = 512;

bool FileExists(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

[[noreturn]] void Damaged(const std::string& detail) {
  throw DamagedError(kFormat, detail);
}

}  // namespace

bool TCUTGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  // Width and height, neither of them zero; the reserved word after them is not looked at.
  return head.size() >= kHeaderSize && (head[0] | head[1]) != 0 && (head[2] | head[3]) != 0;
}

std::vector<TRGBQuad> ReadHaloPalette(std::span<const std::uint8_t> palette) {
  const EInvalidGraphicFormat invalid = InvalidPaletteError(kFormat);
  TByteReader in(palette, invalid);
  if (palette.size() < kPaletteHeaderSize || palette[0] != 'A' || palette[1] != 'H') {
    throw invalid;
  }
  in.Seek(6);
  const std::uint8_t fileType = in.U8();
  in.Skip(1 + 2 + 2);  // sub-type, board and graphics mode
  const std::uint32_t maxIndex = in.U16LE();
  const std::uint16_t maxRed = in.U16LE();
  const std::uint16_t maxGreen = in.U16LE();
  const std::uint16_t maxBlue = in.U16LE();
  if (fileType != 'A' || maxIndex > 255 || maxRed == 0 || maxGreen == 0 || maxBlue == 0) {
    throw invalid;
  }
  in.Seek(kPaletteHeaderSize);
  auto scale = [&](std::uint16_t v, std::uint16_t max) {
    if (v > max) throw invalid;
    return static_cast<std::uint8_t>((std::uint32_t{v} * 255 + max / 2) / max);
  };
  std::vector<TRGBQuad> colours;
  for (std::uint32_t i = 0; i <= maxIndex; ++i) {
    if (in.Position() % kPaletteBlock > kPaletteBlock - 6) {
      in.Seek((in.Position() / kPaletteBlock + 1) * kPaletteBlock);
    }
    const std::uint16_t r = in.U16LE();
    const std::uint16_t g = in.U16LE();
    const std::uint16_t b = in.U16LE();
    colours.push_back(RGB(scale(r, maxRed), scale(g, maxGreen), scale(b, maxBlue)));
  }
  return colours;
}

void TCUTGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  LoadWithPalette(data, {});
}

void TCUTGraphic::LoadFromFile(const std::string& fileName) {
  const std::vector<std::uint8_t> data = ReadPictureFile(fileName);
  std::vector<std::uint8_t> palette;
  const auto dot = fileName.find_last_of('.');
  const auto slash = fileName.find_last_of('/');
  const std::string stem = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                               ? fileName
                               : fileName.substr(0, dot);
  for (const char* extension : {".pal", ".PAL", ".Pal"}) {
    if (FileExists(stem + extension)) {
      palette = ReadPictureFile(stem + extension);
      break;
    }
  }
  LoadWithPalette(data, palette);
}

void TCUTGraphic::LoadWithPalette(std::span<const std::uint8_t> data,
                                  std::span<const std::uint8_t> palette) {
  std::vector<TRGBQuad> colours;
  if (palette.empty()) {
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<std::uint8_t>(i);
      colours.push_back(RGB(v, v, v));
    }
  } else {
    colours = ReadHaloPalette(palette);
  }

  TByteReader in(data, kFormat);
  if (!HeaderLooksValid(data)) throw InvalidFormatError(kFormat);
  const int width = in.U16LE();
  const int height = in.U16LE();
  in.Skip(2);
  CheckPictureSize(Limits(), kFormat, width, height, 8);
  const std::uint64_t leastPerRow = 2 + 2 * ((width + kMaxRun - 1) / kMaxRun);
  if (leastPerRow * static_cast<std::uint64_t>(height) > in.Remaining()) {
    throw TruncatedError(kFormat);
  }

  TBitmap picture(width, height, 8);
  picture.Palette() = colours;
  for (int y = 0; y < height; ++y) {
    const std::uint16_t rowBytes = in.U16LE();
    TByteReader row(in.Bytes(rowBytes), kFormat);
    std::uint8_t* out = picture.RowAt(y);
    int x = 0;
    while (x < width) {
      if (row.AtEnd()) Damaged(TrF("第 %1 行的像素不足", {std::to_string(y)}));
      const std::uint8_t code = row.U8();
      if (code == 0) Damaged(TrF("第 %1 行的像素不足", {std::to_string(y)}));
      const int count = code & 0x7F;
      if (count > width - x) Damaged(TrF("第 %1 行的游程越过行尾", {std::to_string(y)}));
      if (code & 0x80) {
        std::fill_n(out + x, count, row.U8());
      } else {
        const auto literal = row.Bytes(static_cast<std::uint64_t>(count));
        std::copy(literal.begin(), literal.end(), out + x);
      }
      x += count;
    }
    // A row ends with a zero byte; anything else left in it would be pixels beyond the width.
    while (!row.AtEnd()) {
      if (row.U8() != 0) Damaged(TrF("第 %1 行的游程越过行尾", {std::to_string(y)}));
    }
    for (int i = 0; i < width; ++i) {
      if (out[i] >= colours.size()) Damaged(Tr("颜色索引超出调色板"));
    }
  }
  Assign(picture);
}

}  // namespace pennacrow
