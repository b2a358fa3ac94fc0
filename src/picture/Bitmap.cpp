#include "picture/Bitmap.h"
#include "base/Translate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "base/LargeBuffer.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"
#include "picture/RowColors.h"

namespace pennacrow {

const TGraphicClass TBitmap::ClassInfo{"TBitmap", &TGraphic::ClassInfo,
                                       [] { return std::unique_ptr<TGraphic>(new TBitmap); }};

namespace {

bool ValidDepth(int bpp) {
  return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 15 || bpp == 16 || bpp == 24 || bpp == 32;
}

// A colour channel under a bit mask, widened or narrowed to 8 bits.
std::uint8_t Channel(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const std::uint32_t bits = mask >> shift;
  const int width = std::bit_width(bits);
  const std::uint32_t c = (value >> shift) & bits;
  if (width >= 8) return static_cast<std::uint8_t>(c >> (width - 8));
  return static_cast<std::uint8_t>((c * 255 + bits / 2) / bits);
}

std::uint32_t Pack(std::uint8_t v, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const std::uint32_t bits = mask >> shift;
  const int width = std::bit_width(bits);
  const std::uint32_t c =
      width >= 8 ? std::uint32_t{v} << (width - 8) : (std::uint32_t{v} * bits + 127) / 255;
  return (c << shift) & mask;
}

constexpr std::array<std::uint32_t, 3> kMasks555{0x7C00, 0x03E0, 0x001F};

// Writes whole rows of colours into a new (zeroed, maskless) bitmap, with SetPixel's results.
class TRowWriter {
 public:
  explicit TRowWriter(const TBitmap& target) : FTarget(target) {}
  void Write(const TRGBQuad* colors, std::uint8_t* row);

 private:
  std::uint8_t Index(TRGBQuad c);
  const TBitmap& FTarget;
  std::unordered_map<std::uint32_t, std::uint8_t> FIndices;
};

std::uint8_t TRowWriter::Index(TRGBQuad c) {
  // Pictures hold few distinct colours next to each other; the search over the colour table is
  // done once per colour.
  const std::uint32_t key = c.Red << 16 | c.Green << 8 | c.Blue;
  if (const auto found = FIndices.find(key); found != FIndices.end()) return found->second;
  const auto index = static_cast<std::uint8_t>(FTarget.NearestPaletteIndex(c));
  FIndices.emplace(key, index);
  return index;
}

void TRowWriter::Write(const TRGBQuad* colors, std::uint8_t* row) {
  const int width = FTarget.Width();
  switch (FTarget.BitsPerPixel()) {
    case 1:
      for (int x = 0; x < width; ++x) {
        row[x >> 3] =
            static_cast<std::uint8_t>(row[x >> 3] | (Index(colors[x]) & 1) << (7 - (x & 7)));
      }
      break;
    case 4:
      for (int x = 0; x < width; ++x) {
        const int index = Index(colors[x]) & 0x0F;
        row[x >> 1] = static_cast<std::uint8_t>(row[x >> 1] | ((x & 1) ? index : index << 4));
      }
      break;
    case 8:
      for (int x = 0; x < width; ++x) row[x] = Index(colors[x]);
      break;
    case 15:
    case 16: {
      // A new bitmap has no colour masks: 5-5-5 words.
      for (int x = 0; x < width; ++x) {
        const TRGBQuad c = colors[x];
        const std::uint32_t v =
            Pack(c.Red, kMasks555[0]) | Pack(c.Green, kMasks555[1]) | Pack(c.Blue, kMasks555[2]);
        row[2 * x] = static_cast<std::uint8_t>(v);
        row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      }
      break;
    }
    case 24:
      for (int x = 0; x < width; ++x, row += 3) {
        row[0] = colors[x].Blue;
        row[1] = colors[x].Green;
        row[2] = colors[x].Red;
      }
      break;
    default:
      for (int x = 0; x < width; ++x, row += 4) {
        row[0] = colors[x].Blue;
        row[1] = colors[x].Green;
        row[2] = colors[x].Red;
        row[3] = colors[x].Reserved;
      }
      break;
  }
}

}  // namespace

TRowColors::TRowColors(const TBitmap& bitmap) : FBitmap(bitmap) {
  const int depth = bitmap.BitsPerPixel();
  if (depth <= 8) {
    // Indices past the colour table read as black, as GetPixel has them.
    FTable.assign(256, TRGBQuad{});
    for (std::size_t i = 0; i < bitmap.Palette().size() && i < 256; ++i)
      FTable[i] = bitmap.Palette()[i];
  } else if (depth == 15 || depth == 16) {
    // Every 16-bit word once, rather than the mask arithmetic for every pixel.
    const auto& m = (bitmap.HasColorMasks() && depth == 16) ? bitmap.ColorMasks() : kMasks555;
    // The table pays for itself only when there are more pixels than words to fill it with.
    const auto pixels = std::uint64_t(bitmap.Width()) * std::uint64_t(bitmap.Height());
    if (pixels < 65536) {
      FMasks = m.data();
      return;
    }
    FTable.resize(65536);
    for (std::uint32_t v = 0; v < 65536; ++v) {
      FTable[v] = {Channel(v, m[2]), Channel(v, m[1]), Channel(v, m[0]), 0};
    }
  }
}

void TRowColors::Read(const std::uint8_t* row, TRGBQuad* out) const {
  const int width = FBitmap.Width();
  const TRGBQuad* table = FTable.data();
  switch (FBitmap.BitsPerPixel()) {
    case 1:
      for (int x = 0; x < width; ++x) out[x] = table[(row[x >> 3] >> (7 - (x & 7))) & 1];
      break;
    case 4:
      for (int x = 0; x < width; ++x) {
        out[x] = table[(x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4];
      }
      break;
    case 8:
      for (int x = 0; x < width; ++x) out[x] = table[row[x]];
      break;
    case 15:
    case 16:
      if (FMasks != nullptr) {
        const std::uint32_t* m = FMasks;
        for (int x = 0; x < width; ++x) {
          const std::uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
          out[x] = {Channel(v, m[2]), Channel(v, m[1]), Channel(v, m[0]), 0};
        }
        break;
      }
      for (int x = 0; x < width; ++x) out[x] = table[row[2 * x] | (row[2 * x + 1] << 8)];
      break;
    case 24:
      for (int x = 0; x < width; ++x, row += 3) out[x] = {row[0], row[1], row[2], 0};
      break;
    default:
      if (FBitmap.HasColorMasks()) {
        const auto& m = FBitmap.ColorMasks();
        for (int x = 0; x < width; ++x, row += 4) {
          const std::uint32_t v =
              row[0] | (row[1] << 8) | (row[2] << 16) | (std::uint32_t{row[3]} << 24);
          out[x] = {Channel(v, m[2]), Channel(v, m[1]), Channel(v, m[0]), 0};
        }
      } else {
        for (int x = 0; x < width; ++x, row += 4) out[x] = {row[0], row[1], row[2], row[3]};
      }
      break;
  }
}

TBitmap::TBitmap(int width, int height, int bitsPerPixel) {
  Allocate(width, height, bitsPerPixel);
}

std::uint8_t* TBitmap::RowAt(int r) {
  if (r < 0 || r >= FHeight) throw EInvalidGraphicOperation(Tr("扫描行索引越界"));
  FAttachedFile.clear();
  return FBits.data() + static_cast<std::size_t>(r) * FRowLength;
}

const std::uint8_t* TBitmap::ConstRowAt(int r) const {
  if (r < 0 || r >= FHeight) throw EInvalidGraphicOperation(Tr("扫描行索引越界"));
  return FBits.data() + static_cast<std::size_t>(r) * FRowLength;
}

std::span<std::uint8_t> TBitmap::MutableBits() {
  FAttachedFile.clear();
  return FBits;
}

void TBitmap::Allocate(int width, int height, int bitsPerPixel) {
  if (!ValidDepth(bitsPerPixel)) {
    throw EInvalidGraphicOperation(TrF("不支持的像素位数 %1", {std::to_string(bitsPerPixel)}));
  }
  CheckPictureSize(Tr("位图"), width, height, bitsPerPixel);
  const std::size_t rowLength = RowLengthFor(static_cast<std::uint64_t>(width), bitsPerPixel);
  std::vector<std::uint8_t> bits = LargeZeroBuffer(rowLength * static_cast<std::size_t>(height));
  FBits = std::move(bits);
  FWidth = width;
  FHeight = height;
  FBitsPerPixel = bitsPerPixel;
  FRowLength = rowLength;
  FAttachedFile.clear();
  if (bitsPerPixel > 8 && bitsPerPixel != 16 && bitsPerPixel != 32) FHasColorMasks = false;
}

void TBitmap::SetColorMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  FColorMasks = {red, green, blue};
  FHasColorMasks = true;
}

void TBitmap::SetTransparent(bool transparent, TRGBQuad color) {
  FTransparent = transparent;
  FTransparentColor = color;
}

void TBitmap::SetSize(int width, int height) {
  if (width == FWidth && height == FHeight) return;
  TBitmap resized;
  resized.Allocate(width, height, FBitsPerPixel);
  resized.FPalette = FPalette;
  resized.FHasColorMasks = FHasColorMasks;
  resized.FColorMasks = FColorMasks;
  const TRGBQuad white = RGB(255, 255, 255);
  if (FBitsPerPixel <= 8) {
    const int index = NearestPaletteIndex(white);
    std::uint8_t fill = static_cast<std::uint8_t>(index);
    if (FBitsPerPixel == 4) fill = static_cast<std::uint8_t>(index << 4 | index);
    if (FBitsPerPixel == 1) fill = index ? 0xFF : 0x00;
    std::fill(resized.FBits.begin(), resized.FBits.end(), fill);
  } else if (FBitsPerPixel == 24 || (FBitsPerPixel == 32 && !FHasColorMasks)) {
    std::fill(resized.FBits.begin(), resized.FBits.end(), 0xFF);
  } else if (width > 0 && height > 0) {
    // Masked pixels: white packed once, then repeated.
    resized.SetPixel(0, 0, white);
    const std::size_t bytes = FBitsPerPixel == 32 ? 4 : 2;
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = resized.FBits.data() + static_cast<std::size_t>(y) * resized.FRowLength;
      for (int x = (y == 0 ? 1 : 0); x < width; ++x) {
        std::memcpy(row + bytes * static_cast<std::size_t>(x), resized.FBits.data(), bytes);
      }
    }
  }
  const int rows = std::min(height, FHeight);
  const int cols = std::min(width, FWidth);
  const std::size_t fullBytes =
      static_cast<std::size_t>(cols) * (FBitsPerPixel == 15 ? 16 : FBitsPerPixel) / 8;
  for (int y = 0; y < rows; ++y) {
    const std::uint8_t* from = ConstRowAt(y);
    std::uint8_t* to = resized.FBits.data() + static_cast<std::size_t>(y) * resized.FRowLength;
    std::memcpy(to, from, fullBytes);
    if (FBitsPerPixel < 8) {
      for (int x = static_cast<int>(fullBytes * 8 / FBitsPerPixel); x < cols; ++x) {
        resized.SetPixel(x, y, GetPixel(x, y));
      }
    }
  }
  FBits = std::move(resized.FBits);
  FWidth = width;
  FHeight = height;
  FRowLength = resized.FRowLength;
  FAttachedFile.clear();
}

void TBitmap::SetBitsPerPixel(int bitsPerPixel) {
  if (bitsPerPixel == FBitsPerPixel) return;
  if (bitsPerPixel <= 8 && FPalette.empty()) {
    throw EInvalidGraphicOperation(
        TrF("无法转换为 %1 位：没有调色板", {std::to_string(bitsPerPixel)}));
  }
  TBitmap converted;
  converted.Allocate(FWidth, FHeight, bitsPerPixel);
  if (bitsPerPixel <= 8) converted.FPalette = FPalette;
  // A row at a time: the source row is read into colours the way GetPixel reads one pixel, and
  // the colours are written the way SetPixel writes one, without either's per-pixel checks.
  TRowColors colors(*this);
  TRowWriter writer(converted);
  std::vector<TRGBQuad> row(static_cast<std::size_t>(FWidth));
  const bool clearAlpha = bitsPerPixel == 32 && FBitsPerPixel != 32;
  for (int y = 0; y < FHeight; ++y) {
    colors.Read(ConstRowAt(y), row.data());
    if (clearAlpha) {
      for (TRGBQuad& c : row) c.Reserved = 0;
    }
    writer.Write(row.data(),
                 converted.FBits.data() + static_cast<std::size_t>(y) * converted.FRowLength);
  }
  FBits = std::move(converted.FBits);
  FBitsPerPixel = bitsPerPixel;
  FRowLength = converted.FRowLength;
  FHasColorMasks = false;
  if (bitsPerPixel > 8) FPalette.clear();
  FAttachedFile.clear();
}

int TBitmap::NearestPaletteIndex(TRGBQuad color) const {
  int best = 0;
  long bestDistance = -1;
  for (std::size_t i = 0; i < FPalette.size(); ++i) {
    const long dr = long{FPalette[i].Red} - color.Red;
    const long dg = long{FPalette[i].Green} - color.Green;
    const long db = long{FPalette[i].Blue} - color.Blue;
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(i);
      if (distance == 0) break;  // nothing later can be nearer, and ties keep the first
    }
  }
  const int maxIndex = (1 << std::min(FBitsPerPixel, 8)) - 1;
  return std::min(best, maxIndex);
}

TRGBQuad TBitmap::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return {};
  const std::uint8_t* row = FBits.data() + static_cast<std::size_t>(y) * FRowLength;
  auto indexed = [&](unsigned index) -> TRGBQuad {
    if (index < FPalette.size()) return FPalette[index];
    return {};
  };
  switch (FBitsPerPixel) {
    case 1:
      return indexed((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4:
      return indexed((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4);
    case 8:
      return indexed(row[x]);
    case 15:
    case 16: {
      const std::uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
      const auto& m = (FHasColorMasks && FBitsPerPixel == 16) ? FColorMasks : kMasks555;
      return {Channel(v, m[2]), Channel(v, m[1]), Channel(v, m[0]), 0};
    }
    case 24:
      return {row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
    default: {
      const std::uint8_t* p = row + 4 * x;
      if (FHasColorMasks) {
        const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
        return {Channel(v, FColorMasks[2]), Channel(v, FColorMasks[1]), Channel(v, FColorMasks[0]),
                0};
      }
      return {p[0], p[1], p[2], p[3]};
    }
  }
}

void TBitmap::SetPixel(int x, int y, TRGBQuad color) {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  FAttachedFile.clear();
  std::uint8_t* row = FBits.data() + static_cast<std::size_t>(y) * FRowLength;
  switch (FBitsPerPixel) {
    case 1: {
      const int bit = 7 - (x & 7);
      const int index = NearestPaletteIndex(color) & 1;
      row[x >> 3] = static_cast<std::uint8_t>((row[x >> 3] & ~(1 << bit)) | (index << bit));
      break;
    }
    case 4: {
      const int index = NearestPaletteIndex(color) & 0x0F;
      std::uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | index)
                  : static_cast<std::uint8_t>((b & 0x0F) | (index << 4));
      break;
    }
    case 8:
      row[x] = static_cast<std::uint8_t>(NearestPaletteIndex(color));
      break;
    case 15:
    case 16: {
      const auto& m = (FHasColorMasks && FBitsPerPixel == 16) ? FColorMasks : kMasks555;
      const std::uint32_t v =
          Pack(color.Red, m[0]) | Pack(color.Green, m[1]) | Pack(color.Blue, m[2]);
      row[2 * x] = static_cast<std::uint8_t>(v);
      row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      break;
    }
    case 24:
      row[3 * x] = color.Blue;
      row[3 * x + 1] = color.Green;
      row[3 * x + 2] = color.Red;
      break;
    default: {
      std::uint8_t* p = row + 4 * x;
      if (FHasColorMasks) {
        const std::uint32_t v = Pack(color.Red, FColorMasks[0]) |
                                Pack(color.Green, FColorMasks[1]) |
                                Pack(color.Blue, FColorMasks[2]);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v >> 16);
        p[3] = static_cast<std::uint8_t>(v >> 24);
      } else {
        p[0] = color.Blue;
        p[1] = color.Green;
        p[2] = color.Red;
        p[3] = color.Reserved;
      }
      break;
    }
  }
}

void TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return;
  *this = source;
}

void TBitmap::Draw(TBitmap& canvas) const {
  const int w = std::min(FWidth, canvas.Width());
  const int h = std::min(FHeight, canvas.Height());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      TRGBQuad c = GetPixel(x, y);
      c.Reserved = 0;
      if (FTransparent) {
        TRGBQuad t = FTransparentColor;
        t.Reserved = 0;
        if (c == t) continue;
      }
      canvas.SetPixel(x, y, c);
    }
  }
}

}  // namespace pennacrow
