#include "formats/PngWriter.h"
#include "base/Translate.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <optional>
#include <span>

#include "base/LargeBuffer.h"
#include "formats/PngChunks.h"
#include "formats/PngFilter.h"
#include "picture/Errors.h"

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

using TPieceSink = std::function<void(std::span<const std::uint8_t>)>;

// One zlib stream at the default level, compressed straight onto the end of a byte vector, or
// handed on in pieces of a block each. Input is gathered into large blocks so that zlib is
// called once per many rows. Only Z_NO_FLUSH and a final Z_FINISH are used: zlib's output then
// does not depend on how the input was split or on how much output room each call had, so the
// file is the same whatever the block size and wherever the stream goes.
class TDeflater {
 public:
  // expected: the bytes that will be compressed, so that the output can be given zlib's bound
  // of room at once instead of growing (and being copied) over and over.
  TDeflater(std::vector<std::uint8_t>& out, std::size_t expected) : FOut(out) {
    Start(expected);
    FOut.reserve(FOut.size() + Bound(expected));
    PrepareLargeBuffer(FOut.data() + FOut.size(), FOut.capacity() - FOut.size());
  }
  // The output goes to emit one full block at a time, so only a block of it is ever held.
  TDeflater(TPieceSink emit, std::size_t expected) : FOut(FOwnOut), FEmit(std::move(emit)) {
    Start(expected);
    FOut.resize(std::min(Bound(expected), kBlockSize));
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
    if (FEmit) {
      FEmit(std::span(FOut.data(), FOutUsed));
      FOutUsed = 0;
    } else {
      FOut.resize(FOutUsed);
    }
  }

 private:
  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

  // deflate's worst case: stored blocks and the header.
  static std::size_t Bound(std::size_t expected) { return expected + expected / 1000 + 64; }

  void Start(std::size_t expected) {
    // A small picture needs no more than its own size: zero-filling a whole block for a few
    // rows cost more than compressing them.
    FBlock.resize(std::clamp<std::size_t>(expected, 1, kBlockSize));
    if (deflateInit(&FStream, Z_DEFAULT_COMPRESSION) != Z_OK) {
      throw EPennacrowError(Tr("PNG 压缩失败：zlib 无法初始化"));
    }
  }

  void Compress(const std::uint8_t* data, std::size_t size, int flush) {
    for (;;) {
      const std::size_t piece = std::min<std::size_t>(size, UINT_MAX);
      FStream.next_in = const_cast<Bytef*>(data);
      FStream.avail_in = static_cast<uInt>(piece);
      const int pieceFlush = piece == size ? flush : Z_NO_FLUSH;
      int result;
      do {
        if (FOutUsed == FOut.size() && FEmit) {
          FEmit(std::span(FOut.data(), FOutUsed));
          FOutUsed = 0;
        } else if (FOutUsed == FOut.size()) {
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

  std::vector<std::uint8_t> FOwnOut;
  std::vector<std::uint8_t>& FOut;
  TPieceSink FEmit;
  std::size_t FOutUsed = FOut.size();
  std::vector<std::uint8_t> FBlock;
  std::size_t FUsed = 0;
  z_stream FStream{};
};

std::size_t RowBytes(const TBitmap& picture) {
  const std::size_t width = static_cast<std::size_t>(picture.Width());
  return Indexed(picture) ? (width * static_cast<std::size_t>(picture.BitsPerPixel()) + 7) / 8
                          : 3 * width;
}

std::size_t FilteredBytes(const TBitmap& picture) {
  return (RowBytes(picture) + 1) * static_cast<std::size_t>(picture.Height());
}

// The image data: each row with its filter type in front, through the deflater.
void DeflateRows(const TBitmap& picture, TDeflater& deflater) {
  const bool indexed = Indexed(picture);
  const std::size_t width = static_cast<std::size_t>(picture.Width());
  const std::size_t rowBytes = RowBytes(picture);
  TPngRowFilter filter(rowBytes, indexed ? 1 : 3);
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
}

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
  TDeflater deflater(out, FilteredBytes(picture));
  DeflateRows(picture, deflater);
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

namespace {

// What a file is written from: the bitmap, or a 24-bit copy of it where its depth is not one of
// 1, 4, 8 and 24 bits (the bitmap itself stays as it is), and the chunks in their order.
class TPngPlan {
 public:
  explicit TPngPlan(const TBitmap& source) : FPicture(&source) {
    const int depth = source.BitsPerPixel();
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24) {
      FWidened.emplace(source);
      FWidened->SetBitsPerPixel(24);
      FPicture = &*FWidened;
    }
    // Every save starts from the writer's first list, so saving twice cannot pile up chunks.
    FChunks = InitialChunkList();
    ArrangeChunks(FChunks, FPicture->BitsPerPixel(), FPicture->Transparent());
  }
  TPngPlan(const TPngPlan&) = delete;
  TPngPlan& operator=(const TPngPlan&) = delete;

  const TBitmap& Picture() const { return *FPicture; }
  const TPngChunkList& Chunks() const { return FChunks; }

 private:
  std::optional<TBitmap> FWidened;
  const TBitmap* FPicture;
  TPngChunkList FChunks;
};

// The IDAT chunk straight to the file: its length is not known until the stream ends, so a
// placeholder goes first and is patched once the last piece is out. The CRC runs along.
void PutIdat(const TBitmap& picture, TFileSink& sink) {
  const std::uint64_t start = sink.Written();
  constexpr std::array<std::uint8_t, 8> kHead{0, 0, 0, 0, 'I', 'D', 'A', 'T'};
  sink.Put(kHead);
  uLong crc = crc32(0, kHead.data() + 4, 4);
  std::uint64_t length = 0;
  TDeflater deflater(
      [&](std::span<const std::uint8_t> piece) {
        length += piece.size();
        if (length > kMaxChunkData) throw EPennacrowError(Tr("PNG 数据块过大，无法写入"));
        crc = crc32_z(crc, piece.data(), piece.size());
        sink.Put(piece);
      },
      FilteredBytes(picture));
  DeflateRows(picture, deflater);
  deflater.Finish();
  std::array<std::uint8_t, 4> field{};
  PutU32(field.data(), static_cast<std::uint32_t>(length));
  sink.Patch(start, field);
  PutU32(field.data(), static_cast<std::uint32_t>(crc));
  sink.Put(field);
}

}  // namespace

std::vector<std::uint8_t> PngBytes(const TBitmap& source) {
  const TPngPlan plan(source);
  std::vector<std::uint8_t> out(kSignature.begin(), kSignature.end());
  for (const auto& chunk : plan.Chunks()) AppendChunk(*chunk, plan.Picture(), out);
  return out;
}

void PutPng(const TBitmap& source, TFileSink& sink) {
  if (!sink.CanPatch()) {
    // A pipe or a device cannot go back to the length: the file is built in memory first.
    sink.Put(PngBytes(source));
    return;
  }
  const TPngPlan plan(source);
  sink.Put(kSignature);
  std::vector<std::uint8_t> out;
  for (const auto& chunk : plan.Chunks()) {
    if (dynamic_cast<const TIdatChunk*>(chunk.get()) != nullptr) {
      PutIdat(plan.Picture(), sink);
      continue;
    }
    out.clear();
    AppendChunk(*chunk, plan.Picture(), out);
    sink.Put(out);
  }
}

std::vector<std::uint8_t> TPngWriter::SaveToStream() const {
  return PngBytes(*this);
}

void SaveAsPNG(const TBitmap& bitmap, const std::string& fileName, const TWriteOptions& options) {
  // What a TPngWriter holding a copy of the bitmap would write, without the copy: a
  // 12-megapixel picture is not held twice, and its compressed data is not held at all.
  WriteFilePatchable(
      fileName, [&bitmap](TFileSink& sink) { PutPng(bitmap, sink); }, options);
}

}  // namespace pennacrow
