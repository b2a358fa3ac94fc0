#include "formats/SGIGraphic.h"
#include "base/Translate.h"

#include <vector>

#include "formats/PixelRows.h"
#include "picture/ByteReader.h"
#include "picture/Colour.h"
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

[[noreturn]] void Damaged(const std::string& detail) {
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
    if (count > width - x) Damaged(code & 0x80 ? Tr("原样数据越过行尾") : Tr("重复行程越过行尾"));
    if (code & 0x80) {
      for (std::size_t i = 0; i < count; ++i) out[x++] = Sample(in, bpc);
    } else {
      const std::uint8_t value = Sample(in, bpc);
      for (std::size_t i = 0; i < count; ++i) out[x++] = value;
    }
    if (x == width) break;  // a row may leave out its terminating zero
  }
  if (x != width) Damaged(Tr("行数据短于图像宽度"));
}

enum TStorage : std::uint8_t { kVerbatim = 0, kRle = 1 };

struct THeader {
  std::uint8_t Storage = kVerbatim;
  unsigned Bpc = 1;  // bytes per sample
  unsigned XSize = 0, YSize = 0, ZSize = 0;
  int Layout = 8;  // the bitmap's bits per pixel
  // The channels we read: grey with alpha drops the alpha.
  unsigned Channels() const { return ZSize == 2 ? 1 : ZSize; }
};

// The 512-byte header, checked.
THeader ReadHeader(TByteReader& in, const TPixelLimits& limits) {
  if (in.Size() < 2 || in.U16BE() != kMagic) throw InvalidFormatError(kFormat);
  THeader h;
  h.Storage = in.U8();
  h.Bpc = in.U8();
  const unsigned dimension = in.U16BE();
  h.XSize = in.U16BE();
  h.YSize = in.U16BE();
  h.ZSize = in.U16BE();
  in.Skip(92);  // pixel minimum and maximum, a dummy word and the name
  const std::uint32_t colorMap = in.U32BE();
  in.Seek(kHeaderSize);
  if (h.Storage > kRle) throw UnsupportedError(kFormat, Tr("压缩方式"));
  if (h.Bpc != 1 && h.Bpc != 2) {
    throw UnsupportedError(kFormat, TrF("每通道%1字节", {std::to_string(h.Bpc)}));
  }
  if (dimension < 1 || dimension > 3) throw InvalidFormatError(kFormat);
  if (dimension == 1) h.YSize = 1;
  if (dimension < 3) h.ZSize = 1;
  if (colorMap != 0) throw UnsupportedError(kFormat, Tr("颜色映射图像"));
  if (h.ZSize < 1 || h.ZSize > 4) {
    throw UnsupportedError(kFormat, TrF("%1个通道", {std::to_string(h.ZSize)}));
  }
  h.Layout = h.ZSize <= 2 ? 8 : h.ZSize == 3 ? 24 : 32;
  if (h.XSize == 0 || h.YSize == 0) Damaged(Tr("图像尺寸为零"));
  CheckPictureSize(limits, kFormat, h.XSize, h.YSize, h.Layout);
  return h;
}

// Run-length files: two tables of one 32-bit entry per row and channel (where each row starts
// and how long it is), then the rows. Rows may share their bytes, so only one row's worth of
// data (at most 127 samples per count and value) is sure to be there.
void ReadRowTable(TByteReader& in, const THeader& h, std::vector<std::uint32_t>& starts,
                  std::vector<std::uint32_t>& lengths) {
  const std::uint64_t rows = std::uint64_t{h.YSize} * h.ZSize;
  if (h.Storage != kRle) {
    RequireBytes(in, rows * h.XSize * h.Bpc);
    return;
  }
  RequireBytes(in, 8 * rows + CeilDiv(2 * std::uint64_t{h.XSize} * h.Bpc, 127));
  starts.resize(static_cast<std::size_t>(rows));
  lengths.resize(static_cast<std::size_t>(rows));
  for (auto& s : starts) s = in.U32BE();
  for (auto& l : lengths) l = in.U32BE();
}

// One channel's samples into a bitmap row. Channels are red, green, blue, alpha; our pixels
// are blue, green, red, alpha.
void PutChannel(const THeader& h, unsigned z, const std::vector<std::uint8_t>& samples,
                std::uint8_t* out) {
  if (h.Layout == 8) {
    std::copy(samples.begin(), samples.end(), out);
    return;
  }
  const std::size_t step = static_cast<std::size_t>(h.Layout) / 8;
  const std::size_t at = z < 3 ? 2 - z : 3;
  for (std::size_t x = 0; x < h.XSize; ++x) out[x * step + at] = samples[x];
}

}  // namespace

bool TSGIGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  return ReadsWithoutRefusal([head] {
    TByteReader in(head, kFormat);
    ReadHeader(in, kNoPixelLimits);
  });
}

void TSGIGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  const THeader header = ReadHeader(in, Limits());
  std::vector<std::uint32_t> starts, lengths;
  ReadRowTable(in, header, starts, lengths);
  TBitmap bitmap;
  bitmap.Allocate(static_cast<int>(header.XSize), static_cast<int>(header.YSize), header.Layout);
  std::vector<std::uint8_t> samples(header.XSize);
  for (unsigned y = 0; y < header.YSize; ++y) {
    std::uint8_t* out = bitmap.RowAt(static_cast<int>(header.YSize - 1 - y));  // bottom up
    for (unsigned z = 0; z < header.Channels(); ++z) {
      const std::size_t index = std::size_t{z} * header.YSize + y;
      if (header.Storage == kRle) {
        if (std::uint64_t{starts[index]} + lengths[index] > data.size()) {
          Damaged(Tr("行偏移超出文件"));
        }
        TByteReader row(data.subspan(starts[index], lengths[index]), kFormat);
        ReadRleRow(row, header.Bpc, samples);
      } else {
        in.Seek(kHeaderSize + std::uint64_t{index} * header.XSize * header.Bpc);
        for (auto& s : samples) s = Sample(in, header.Bpc);
      }
      PutChannel(header, z, samples, out);
    }
  }
  if (header.Layout == 8) bitmap.Palette() = GreyPalette();
  TBitmap::operator=(std::move(bitmap));
}

}  // namespace pennacrow
