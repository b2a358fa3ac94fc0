#include "formats/SGIGraphic.h"

#include <vector>

#include "formats/PixelRows.h"
#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TSGIGraphic::ClassInfo{"TSGIGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TSGIGraphic);
                                           }};

namespace {

const char* const kFormat = "SGI";
constexpr std::size_t kHeaderSize = 512;
constexpr unsigned kMagic = 474;

[[noreturn]] void Damaged(const char* detail) {
  throw DamagedError(kFormat, detail);
}

std::uint8_t Sample(TByteReader& in, unsigned bpc) {
  return bpc == 1 ? in.U8() : Scale16To8(in.U16BE());
}

// One channel of one row, run-length encoded, from the bytes the offset table points at. A
// count of zero ends the row; the row must come out exactly width samples long.
void ReadRleRow(TByteReader& in, unsigned bpc, std::vector<std::uint8_t>& out) {
  const std::size_t width = out.size();
  std::size_t x = 0;
  for (;;) {
    // With 2-byte samples the counts are 2-byte words too; only their low byte counts.
    const unsigned code = bpc == 1 ? in.U8() : (in.U16BE() & 0xFFu);
    const std::size_t count = code & 0x7Fu;
    if (count == 0) break;
    if (count > width - x) Damaged(code & 0x80 ? "原样数据越过行尾" : "重复行程越过行尾");
    if (code & 0x80) {
      for (std::size_t i = 0; i < count; ++i) out[x++] = Sample(in, bpc);
    } else {
      const std::uint8_t value = Sample(in, bpc);
      for (std::size_t i = 0; i < count; ++i) out[x++] = value;
    }
    if (x == width) break;  // a row may leave out its terminating zero
  }
  if (x != width) Damaged("行数据短于图像宽度");
}

}  // namespace

void TSGIGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  if (data.size() < 2 || ((data[0] << 8) | data[1]) != kMagic) {
    throw InvalidFormatError(kFormat);
  }
  in.Skip(2);
  const std::uint8_t storage = in.U8();
  const unsigned bpc = in.U8();
  const unsigned dimension = in.U16BE();
  const unsigned xSize = in.U16BE();
  unsigned ySize = in.U16BE();
  unsigned zSize = in.U16BE();
  in.Skip(92);  // pixel minimum and maximum, a dummy word and the name
  const std::uint32_t colorMap = in.U32BE();
  in.Seek(kHeaderSize);

  if (storage > 1) throw UnsupportedError(kFormat, "压缩方式");
  if (bpc != 1 && bpc != 2) {
    throw UnsupportedError(kFormat, "每通道" + std::to_string(bpc) + "字节");
  }
  if (dimension < 1 || dimension > 3) throw InvalidFormatError(kFormat);
  if (dimension == 1) ySize = 1;
  if (dimension < 3) zSize = 1;
  if (colorMap != 0) throw UnsupportedError(kFormat, "颜色映射图像");
  if (zSize < 1 || zSize > 4) {
    throw UnsupportedError(kFormat, std::to_string(zSize) + "个通道");
  }
  const int layout = zSize <= 2 ? 8 : zSize == 3 ? 24 : 32;
  if (xSize == 0 || ySize == 0) Damaged("图像尺寸为零");
  CheckPictureSize(kFormat, xSize, ySize, layout);

  const bool rle = storage == 1;
  const unsigned channels = zSize == 2 ? 1 : zSize;  // grey with alpha: the alpha is dropped
  const std::uint64_t rows = std::uint64_t{ySize} * zSize;
  std::vector<std::uint32_t> starts, lengths;
  if (rle) {
    // Two tables of one 32-bit entry per row and channel, then the rows. Rows may share their
    // bytes, so only one row's worth of data (at most 127 samples per count and value) is sure.
    RequireBytes(in, 8 * rows + CeilDiv(2 * std::uint64_t{xSize} * bpc, 127));
    starts.resize(static_cast<std::size_t>(rows));
    lengths.resize(static_cast<std::size_t>(rows));
    for (auto& s : starts) s = in.U32BE();
    for (auto& l : lengths) l = in.U32BE();
  } else {
    RequireBytes(in, rows * xSize * bpc);
  }

  TBitmap bitmap;
  bitmap.Allocate(static_cast<int>(xSize), static_cast<int>(ySize), layout);
  std::vector<std::uint8_t> samples(xSize);
  for (unsigned y = 0; y < ySize; ++y) {
    std::uint8_t* out = bitmap.RowAt(static_cast<int>(ySize - 1 - y));  // rows run bottom up
    for (unsigned z = 0; z < channels; ++z) {
      const std::size_t index = std::size_t{z} * ySize + y;
      if (rle) {
        if (std::uint64_t{starts[index]} + lengths[index] > data.size()) {
          Damaged("行偏移超出文件");
        }
        TByteReader row(data.subspan(starts[index], lengths[index]), kFormat);
        ReadRleRow(row, bpc, samples);
      } else {
        in.Seek(kHeaderSize + std::uint64_t{index} * xSize * bpc);
        for (auto& s : samples) s = Sample(in, bpc);
      }
      if (layout == 8) {
        std::copy(samples.begin(), samples.end(), out);
        continue;
      }
      // Channels are red, green, blue, alpha; our pixels are blue, green, red, alpha.
      const std::size_t step = layout / 8;
      const std::size_t at = z < 3 ? 2 - z : 3;
      for (std::size_t x = 0; x < xSize; ++x) out[x * step + at] = samples[x];
    }
  }
  if (layout == 8) bitmap.Palette() = GreyPalette();
  TBitmap::operator=(std::move(bitmap));
}

}  // namespace pennacrow
