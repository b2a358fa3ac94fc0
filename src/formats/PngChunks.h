#pragma once
// The chunks of a PNG file as the writer lists them, and the rules that put the list in order
// before a save.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "picture/Bitmap.h"

namespace pennacrow {

// One chunk of the file. Its data is made from the picture at save time.
class TPngChunk {
 public:
  virtual ~TPngChunk() = default;
  // The four letters of the chunk type.
  virtual std::string_view ChunkType() const = 0;
  // Whether the chunk goes into the file of this picture at all.
  virtual bool WrittenFor(const TBitmap&) const { return true; }
  // Appends the chunk's data for the picture (1-, 4-, 8- or 24-bit) to out.
  virtual void AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const = 0;
};

class TIhdrChunk : public TPngChunk {
 public:
  std::string_view ChunkType() const override { return "IHDR"; }
  void AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const override;
};

class TPlteChunk : public TPngChunk {
 public:
  std::string_view ChunkType() const override { return "PLTE"; }
  void AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const override;
};

// The transparent colour; only RGB files carry it.
class TTrnsChunk : public TPngChunk {
 public:
  std::string_view ChunkType() const override { return "tRNS"; }
  bool WrittenFor(const TBitmap& picture) const override;
  void AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const override;
};

// All rows, filtered, as one zlib stream.
class TIdatChunk : public TPngChunk {
 public:
  std::string_view ChunkType() const override { return "IDAT"; }
  void AppendData(const TBitmap& picture, std::vector<std::uint8_t>& out) const override;
};

class TIendChunk : public TPngChunk {
 public:
  std::string_view ChunkType() const override { return "IEND"; }
  void AppendData(const TBitmap&, std::vector<std::uint8_t>&) const override {}
};

using TPngChunkList = std::vector<std::unique_ptr<TPngChunk>>;

// The list a writer starts with: IHDR, IDAT, IEND.
TPngChunkList InitialChunkList();

// Puts the list in order for a picture of this depth and transparency: never empty, IHDR first,
// a PLTE after IHDR for indexed depths, a tRNS after IHDR for a transparent picture and none for
// an opaque one, an IEND at the end and an IDAT after IHDR when they are missing.
void ArrangeChunks(TPngChunkList& chunks, int bitsPerPixel, bool transparent);

// Appends one whole chunk (length, type, data, CRC) unless its type's fourth letter is
// lower-case or it has no place in this picture's file.
void AppendChunk(const TPngChunk& chunk, const TBitmap& picture, std::vector<std::uint8_t>& out);

}  // namespace pennacrow
