#include "formats/PngWriter.h"
#include "text/Translate.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <optional>

#include "formats/PngChunks.h"
#include "formats/PngFilter.h"
#include "picture/Errors.h"
#include "picture/LargeBuffer.h"

namespace pennacrow {

const TGraphicClass TPngWriter::ClassInfo{"TPngWriter", &TBitmap::ClassInfo,
                                          [] { return std::unique_ptr<TGraphic>(new TPngWriter); }};

namespace {

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
// A chunk's length field is a 31-bit number.
constexpr std::size_t kMaxChunkData = 0x7FFFFFFF;

bool Indexed(const TBitmap& picture) {
  return picture.BitsPerPixel() <= 8;
}

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void PutU32(std::uint8_t* at, std::uint32_t v) {
  at[0] = static_cast<std::uint8_t>(v >> 24);
  at[1] = static_cast<std::uint8_t>(v >> 16);
  at[2] = static_cast<std::uint8_t>(v >> 8);
  at[3] = static_cast<std::uint8_t>(v);
}

// One zlib stream at the default level, compressed straight onto the end of a byte vector.
// Input is gathered into large blocks so that zlib is called once per many rows. Only
// Z_NO_FLUSH and a final Z_FINISH are used: zlib's output then does not depend on how the input
// was split, so the file is the same whatever the block size.
class TDeflater {
 public:
  // expected: the bytes that will be compressed, so that the output can be given zlib's bound
  // of room at once instead of growing (and being copied) over and over.
  TDeflater(std::vector<std::uint8_t>& out, std::size_t expected) : FOut(out) {
    // A small picture needs no more than its own size: zero-filling a whole block for a few
    // rows cost more than compressing them.
    FBlock.resize(std::clamp<std::size_t>(expected, 1, kBlockSize));
    if (deflateInit(&FStream, Z_DEFAULT_COMPRESSION) != Z_OK) {
      throw EPennacrowError(Tr("PNG 压缩失败：zlib 无法初始化"));
    }
    const std::size_t bound =
        expected + expected / 1000 + 64;  // deflate's worst case: stored blocks and the header
    FOut.reserve(FOut.size() + bound);
    PrepareLargeBuffer(FOut.data() + FOut.size(), FOut.capacity() - FOut.size());
  }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;
  ~TDeflater() { deflateEnd(&FStream); }

  void Write(const std::uint8_t* data, std::size_t size) {
    if (FUsed + size > FBlock.size()) {
      Compress(FBlock.data(), FUsed, Z_NO_FLUSH);
      FUsed = 0;
      if (size >= FBlock.size()) {
        Compress(data, size, Z_NO_FLUSH);
        return;
      }
    }
    std::memcpy(FBlock.data() + FUsed, data, size);
    FUsed += size;
  }

  void Finish() {
    Compress(FBlock.data(), FUsed, Z_FINISH);
    FUsed = 0;
    FOut.resize(FOutUsed);
  }

 private:
  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

  void Compress(const std::uint8_t* data, std::size_t size, int flush) {
    for (;;) {
      const std::size_t piece = std::min<std::size_t>(size, UINT_MAX);
      FStream.next_in = const_cast<Bytef*>(data);
      FStream.avail_in = static_cast<uInt>(piece);
      const int pieceFlush = piece == size ? flush : Z_NO_FLUSH;
      int result;
      do {
        if (FOutUsed == FOut.size()) {
          // First the room reserved at the start, then growth by half.
          const std::size_t grown =
              FOut.capacity() > FOut.size()
                  ? FOut.capacity()
                  : FOut.size() + std::max<std::size_t>(FOut.size() / 2, kBlockSize);
          FOut.resize(grown);
        }
        const std::size_t room = std::min<std::size_t>(FOut.size() - FOutUsed, UINT_MAX);
        FStream.next_out = FOut.data() + FOutUsed;
        FStream.avail_out = static_cast<uInt>(room);
        result = deflate(&FStream, pieceFlush);
        if (result == Z_STREAM_ERROR) throw EPennacrowError(Tr("PNG 压缩失败"));
        FOutUsed += room - FStream.avail_out;
      } while (FStream.avail_out == 0 || (pieceFlush == Z_FINISH && result != Z_STREAM_END));
      data += piece;
      size -= piece;
      if (size == 0) return;
    }
  }

  std::vector<std::uint8_t>& FOut;
  std::size_t FOutUsed = FOut.size();
  std::vector<std::uint8_t> FBlock;
  std::size_t FUsed = 0;
  z_stream FStream{};
};

}  // namespace

void TIhdrChunk::AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const {
  AppendU32(out, static_cast<std::uint32_t>(picture.Width()));
  AppendU32(out, static_cast<std::uint32_t>(picture.Height()));
  const bool indexed = Indexed(picture);
  out.push_back(static_cast<std::uint8_t>(indexed ? picture.BitsPerPixel() : 8));  // bit depth
  out.push_back(indexed ? 3 : 2);  // colour type: palette or RGB
  out.push_back(0);                // compression: deflate
  out.push_back(0);                // filter method: adaptive
  out.push_back(0);                // no interlacing
}

void TPlteChunk::AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const {
  // PNG allows no more entries than the depth can index and no empty palette. A bitmap without a
  // colour table shows its pixels black, so that is what its file says.
  const std::size_t most = std::size_t{1} << picture.BitsPerPixel();
  const std::vector<TRGBQuad>& palette = picture.Palette();
  if (palette.empty()) {
    out.insert(out.end(), 3 * most, 0);
    return;
  }
  for (std::size_t i = 0; i < palette.size() && i < most; ++i) {
    out.push_back(palette[i].Red);
    out.push_back(palette[i].Green);
    out.push_back(palette[i].Blue);
  }
}

bool TTrnsChunk::WrittenFor(const TBitmap& picture) const {
  return !Indexed(picture);
}

void TTrnsChunk::AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const {
  const TRGBQuad color = picture.TransparentColor();
  for (const std::uint8_t sample : {color.Red, color.Green, color.Blue}) {
    out.push_back(0);
    out.push_back(sample);
  }
}

void TIdatChunk::AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const {
  const bool indexed = Indexed(picture);
  const std::size_t width = static_cast<std::size_t>(picture.Width());
  const std::size_t rowBytes =
      indexed ? (width * static_cast<std::size_t>(picture.BitsPerPixel()) + 7) / 8 : 3 * width;
  TPngRowFilter filter(rowBytes, indexed ? 1 : 3);
  TDeflater deflater(out, (rowBytes + 1) * static_cast<std::size_t>(picture.Height()));
  // RGB rows are rebuilt from the bitmap's blue, green, red; indexed rows are used in place.
  std::vector<std::uint8_t> rgb(indexed ? 0 : rowBytes);
  std::vector<std::uint8_t> priorRgb(indexed ? 0 : rowBytes);
  const std::uint8_t* prior = nullptr;
  for (int y = 0; y < picture.Height(); ++y) {
    const std::uint8_t* row = picture.ConstRowAt(y);
    if (!indexed) {
      std::uint8_t* to = rgb.data();
      for (std::size_t x = 0; x < width; ++x, row += 3, to += 3) {
        to[0] = row[2];
        to[1] = row[1];
        to[2] = row[0];
      }
      row = rgb.data();
    }
    const std::uint8_t type = static_cast<std::uint8_t>(filter.Choose(row, prior));
    deflater.Write(&type, 1);
    deflater.Write(filter.Filtered().data(), rowBytes);
    if (indexed) {
      prior = row;
    } else {
      rgb.swap(priorRgb);
      prior = priorRgb.data();
    }
  }
  deflater.Finish();
}

TPngChunkList InitialChunkList() {
  TPngChunkList chunks;
  chunks.push_back(std::make_unique<TIhdrChunk>());
  chunks.push_back(std::make_unique<TIdatChunk>());
  chunks.push_back(std::make_unique<TIendChunk>());
  return chunks;
}

void ArrangeChunks(TPngChunkList& chunks, int bitsPerPixel, bool transparent) {
  auto ofType = [](std::string_view type) {
    return [type](const std::unique_ptr<TPngChunk>& chunk) { return chunk->ChunkType() == type; };
  };
  auto has = [&](std::string_view type) {
    return std::any_of(chunks.begin(), chunks.end(), ofType(type));
  };
  if (chunks.empty()) chunks = InitialChunkList();
  const auto ihdr = std::find_if(chunks.begin(), chunks.end(), ofType("IHDR"));
  if (ihdr == chunks.end()) {
    chunks.insert(chunks.begin(), std::make_unique<TIhdrChunk>());
  } else {
    std::rotate(chunks.begin(), ihdr, ihdr + 1);
  }
  if (bitsPerPixel <= 8 && !has("PLTE"))
    chunks.insert(chunks.begin() + 1, std::make_unique<TPlteChunk>());
  if (transparent) {
    chunks.insert(chunks.begin() + 1, std::make_unique<TTrnsChunk>());
  } else {
    std::erase_if(chunks, ofType("tRNS"));
  }
  if (!has("IEND")) chunks.push_back(std::make_unique<TIendChunk>());
  if (!has("IDAT")) chunks.insert(chunks.begin() + 1, std::make_unique<TIdatChunk>());
}

void AppendChunk(const TPngChunk& chunk, const TBitmap& picture, std::vector<std::uint8_t>& out) {
  const std::string_view type = chunk.ChunkType();
  if (type.size() != 4 || (type[3] >= 'a' && type[3] <= 'z')) return;
  if (!chunk.WrittenFor(picture)) return;
  const std::size_t start = out.size();
  out.resize(start + 4);
  out.insert(out.end(), type.begin(), type.end());
  chunk.AppendData(picture, out);
  const std::size_t length = out.size() - start - 8;
  if (length > kMaxChunkData) throw EPennacrowError(Tr("PNG 数据块过大，无法写入"));
  PutU32(out.data() + start, static_cast<std::uint32_t>(length));
  const uLong crc = crc32(0, out.data() + start + 4, static_cast<uInt>(length + 4));
  AppendU32(out, static_cast<std::uint32_t>(crc));
}

void TPngWriter::LoadFromBytes(std::span<const std::uint8_t>) {
  throw UnsupportedError("PNG", Tr("读取"));
}

// The PNG bytes of a bitmap. Depths other than 1, 4, 8 and 24 bits are written from a 24-bit
// copy; the bitmap itself stays as it is.
std::vector<std::uint8_t> PngBytes(const TBitmap& source) {
  std::optional<TBitmap> widened;
  const TBitmap* picture = &source;
  const int depth = source.BitsPerPixel();
  if (depth != 1 && depth != 4 && depth != 8 && depth != 24) {
    widened.emplace(source);
    widened->SetBitsPerPixel(24);
    picture = &*widened;
  }
  // Every save starts from the writer's first list, so saving twice cannot pile up chunks.
  TPngChunkList chunks = InitialChunkList();
  ArrangeChunks(chunks, picture->BitsPerPixel(), picture->Transparent());
  std::vector<std::uint8_t> out(kSignature.begin(), kSignature.end());
  for (const auto& chunk : chunks) AppendChunk(*chunk, *picture, out);
  return out;
}

std::vector<std::uint8_t> TPngWriter::SaveToStream() const {
  return PngBytes(*this);
}

void SaveAsPNG(const TBitmap& bitmap, const std::string& fileName, const TWriteOptions& options) {
  // What a TPngWriter holding a copy of the bitmap would write, without the copy: a
  // 12-megapixel picture is not held twice.
  WriteFileAtomically(fileName, PngBytes(bitmap), options);
}

}  // namespace pennacrow
