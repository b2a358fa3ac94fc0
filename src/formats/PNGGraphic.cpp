#include "formats/PNGGraphic.h"
#include "base/Translate.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <vector>

#include "formats/PixelRows.h"
#include "picture/ByteReader.h"
#include "picture/Colour.h"
#include "picture/Errors.h"
#include "picture/PictureFile.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TPNGGraphic::ClassInfo{"TPNGGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPNGGraphic);
                                           }};

namespace {

const char* const kFormat = "PNG";
// libpng's own defaults, kept even when the pixel limits are higher: we read no ancillary chunk
// that could need more.
constexpr std::uint64_t kMaxChunkBytes = 8000000;
constexpr png_uint_32 kMaxAncillaryChunks = 1000;
const char* const kUnknownCriticalChunk = N_("无法加载PNG图像，检测到非预期关键块.");

// What the callbacks learn while libpng runs. libpng's error path jumps over the library's
// frames back to the setjmp in the phase functions below; this lives outside them.
struct TPngState {
  TByteReader* Input;
  bool EndOfData;                  // libpng asked for bytes past the end of the file
  bool UnknownCriticalChunk;       // a critical chunk that no reader of ours knows
  std::exception_ptr ReadFailure;  // the file could not be read; raised as it was
  char Message[256];
};

void PngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* state = static_cast<TPngState*>(png_get_io_ptr(png));
  try {
    while (length > 0) {
      const std::span<const std::uint8_t> part = state->Input->Next(length);
      if (part.empty()) break;
      std::memcpy(out, part.data(), part.size());
      out += part.size();
      length -= part.size();
    }
  } catch (...) {
    state->ReadFailure = std::current_exception();
  }
  // Outside the handler: the jump must not leave an exception in flight.
  if (state->ReadFailure) png_error(png, "read failed");
  if (length > 0) {
    state->EndOfData = true;
    png_error(png, "unexpected end of file");
  }
}

void PngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<TPngState*>(png_get_error_ptr(png));
  std::snprintf(state->Message, sizeof state->Message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Called for every chunk libpng itself does not know. Ancillary ones are skipped; a critical
// one (upper-case first letter) ends the load.
int PngUnknownChunk(png_structp png, png_unknown_chunkp chunk) {
  if ((chunk->name[0] & 0x20) == 0) {
    static_cast<TPngState*>(png_get_user_chunk_ptr(png))->UnknownCriticalChunk = true;
    return -1;
  }
  return 1;
}

struct TPngDecoder {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  TPngState State{};
  TPngDecoder() = default;
  TPngDecoder(const TPngDecoder&) = delete;
  TPngDecoder& operator=(const TPngDecoder&) = delete;
  ~TPngDecoder() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
};

// Phase 1: signature, IHDR and every chunk before the first IDAT; then the transformations
// that bring the rows into the bitmap's layout.
struct THeader {
  png_uint_32 Width, Height;
  int BitDepth, ColorType, Interlace;
  bool HasGamma;
  double Gamma;
};

bool PngReadHeader(TPngDecoder* d, THeader* h) {
  if (setjmp(png_jmpbuf(d->Png))) return false;
  png_set_read_fn(d->Png, &d->State, PngRead);
  png_set_read_user_chunk_fn(d->Png, &d->State, PngUnknownChunk);
  // Ancillary chunks with a bad checksum are dropped; critical ones stay errors.
  png_set_crc_action(d->Png, PNG_CRC_DEFAULT, PNG_CRC_QUIET_USE);
  png_read_info(d->Png, d->Info);
  png_get_IHDR(d->Png, d->Info, &h->Width, &h->Height, &h->BitDepth, &h->ColorType, &h->Interlace,
               nullptr, nullptr);
  h->HasGamma = png_get_gAMA(d->Png, d->Info, &h->Gamma) != 0 && h->Gamma > 0;
  return true;
}

bool PngSetTransforms(TPngDecoder* d, const THeader& h) {
  if (setjmp(png_jmpbuf(d->Png))) return false;
  if (h.BitDepth == 16) png_set_scale_16(d->Png);  // round(v x 255 / 65535)
  if (h.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_strip_alpha(d->Png);
  if (h.ColorType & PNG_COLOR_MASK_COLOR) png_set_bgr(d->Png);
  png_set_interlace_handling(d->Png);
  png_read_update_info(d->Png, d->Info);
  return true;
}

// Phase 2: the whole image into the row pointers, then the chunks after it; or, for a
// non-interlaced image read in part, only the first count rows.
bool PngReadImage(TPngDecoder* d, png_bytepp rows, png_uint_32 count, bool whole) {
  if (setjmp(png_jmpbuf(d->Png))) return false;
  if (!whole) {
    png_read_rows(d->Png, rows, nullptr, count);
    return true;
  }
  png_read_image(d->Png, rows);
  png_read_end(d->Png, nullptr);
  return true;
}

[[noreturn]] void RaisePngError(const TPngState& state) {
  if (state.ReadFailure) std::rethrow_exception(state.ReadFailure);
  if (state.UnknownCriticalChunk)
    throw EInvalidGraphicFormat(TGraphicFault::Unsupported, Tr(kUnknownCriticalChunk));
  // libpng names in words the image data that ended, or met the next chunk, before the rows did.
  if (state.EndOfData || std::strcmp(state.Message, "Not enough image data") == 0) {
    throw TruncatedError(kFormat);
  }
  throw LibraryDamagedError(kFormat, state.Message);
}

// Checks made before libpng sees the file. The size in IHDR is checked before libpng
// allocates anything. libpng allocates a chunk's declared length before it reads the chunk, so
// a few bytes that claim a gigabyte of text make it ask for a gigabyte; no chunk can be longer
// than the rest of the file, so walking the chunk headers first bounds every such allocation by
// the file's size. A read of the first rows only walks the chunks before the image data.
// Returns where the first IDAT chunk starts, 0 when none was met.
std::uint64_t PrecheckFile(const TByteReader& input, const TPixelLimits& limits, bool headOnly) {
  const std::uint64_t size = input.Size();
  std::array<std::uint8_t, 24> head{};
  if (!input.ReadAt(0, head.data(), 8) || png_sig_cmp(head.data(), 0, 8) != 0) {
    throw InvalidFormatError(kFormat);
  }
  if (input.ReadAt(0, head.data(), head.size()) && std::memcmp(head.data() + 12, "IHDR", 4) == 0) {
    CheckPictureSize(limits, kFormat, png_get_uint_32(head.data() + 16),
                     png_get_uint_32(head.data() + 20), 32);
  }
  std::uint64_t firstData = 0;
  for (std::uint64_t at = 8; size - at >= 12;) {
    std::array<std::uint8_t, 8> chunk{};
    if (!input.ReadAt(at, chunk.data(), chunk.size())) throw TruncatedError(kFormat);
    if (std::memcmp(chunk.data() + 4, "IDAT", 4) == 0 && firstData == 0) {
      firstData = at;
      if (headOnly) break;
    }
    const png_uint_32 length = png_get_uint_32(chunk.data());
    if (length > size - at - 12) throw TruncatedError(kFormat);
    if (std::memcmp(chunk.data() + 4, "IEND", 4) == 0) break;
    at += std::uint64_t{length} + 12;
  }
  return firstData;
}

// Deflate turns a byte into at most 1032 (a 258-byte match in two bits and change). The image
// data chunks, which follow one another, must hold at least the rows asked for at that ratio
// before room is made for them; the walk stops as soon as they do.
constexpr std::uint64_t kDeflateRatio = 1032;

void RequireImageData(const TByteReader& input, std::uint64_t firstData, std::uint64_t rowBytes) {
  std::uint64_t held = 0;
  for (std::uint64_t at = firstData; at != 0 && held * kDeflateRatio < rowBytes;) {
    std::array<std::uint8_t, 8> chunk{};
    if (!input.ReadAt(at, chunk.data(), chunk.size()) ||
        std::memcmp(chunk.data() + 4, "IDAT", 4) != 0) {
      break;
    }
    // A length past the end of the file counts only the bytes that are there.
    const std::uint64_t length = png_get_uint_32(chunk.data());
    held += std::min(length, input.Size() - at - 8);
    at += length + 12;
  }
  if (held * kDeflateRatio < rowBytes) throw TruncatedError(kFormat);
}

// libpng's structures over the data, with our limits for any later look and a cap on the
// memory one ancillary chunk may take (a compressed text or profile chunk can otherwise inflate
// to any size).
void OpenDecoder(TPngDecoder& d, TByteReader& input, const TPixelLimits& limits) {
  d.State.Input = &input;
  d.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d.State, PngError, PngWarning);
  if (d.Png == nullptr) throw std::bad_alloc();
  d.Info = png_create_info_struct(d.Png);
  if (d.Info == nullptr) throw std::bad_alloc();
  const auto side =
      static_cast<png_uint_32>(std::min<std::uint64_t>(limits.MaxPixels, PNG_UINT_31_MAX));
  png_set_user_limits(d.Png, side, side);
  png_set_chunk_malloc_max(d.Png, static_cast<png_alloc_size_t>(
                                      std::min<std::uint64_t>(limits.MaxBytes, kMaxChunkBytes)));
  png_set_chunk_cache_max(d.Png, kMaxAncillaryChunks);
}

bool Indexed(const THeader& h) {
  return h.ColorType == PNG_COLOR_TYPE_PALETTE || h.ColorType == PNG_COLOR_TYPE_GRAY;
}

// The bitmap's depth for each colour type and bit depth; 2-bit pixels are read as they are
// and widened to 4 bits afterwards.
int BitmapDepth(const THeader& h) {
  if (Indexed(h)) return h.BitDepth == 1 ? 1 : h.BitDepth <= 4 ? 4 : 8;
  if (h.ColorType == PNG_COLOR_TYPE_RGB) return 24;
  if (h.ColorType == PNG_COLOR_TYPE_RGB_ALPHA) return 32;
  return 8;
}

std::vector<TRGBQuad> ReadPalette(const TPngDecoder& d, const THeader& h, int bpp) {
  if (h.ColorType != PNG_COLOR_TYPE_PALETTE) {
    return bpp <= 8 ? GreyPalette(std::min(h.BitDepth, 8)) : std::vector<TRGBQuad>{};
  }
  png_colorp entries = nullptr;
  int count = 0;
  if (png_get_PLTE(d.Png, d.Info, &entries, &count) == 0 || count <= 0) {
    throw InvalidPaletteError(kFormat);
  }
  std::vector<TRGBQuad> palette(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    palette[i] = RGB(entries[i].red, entries[i].green, entries[i].blue);
  return palette;
}

// Gamma: the table applies to every colour sample. Indexed and grey bitmaps carry their
// colours in the palette, so the table goes there and the pixel indices stay as stored.
void ApplyGamma(const THeader& h, TBitmap& bitmap) {
  if (!h.HasGamma) return;
  std::array<std::uint8_t, 256> gamma;
  for (int i = 0; i < 256; ++i) {
    gamma[i] =
        static_cast<std::uint8_t>(std::lround(255.0 * std::pow(i / 255.0, 1.0 / (h.Gamma * 2.2))));
  }
  if (bitmap.BitsPerPixel() <= 8) {
    for (TRGBQuad& c : bitmap.Palette()) c = {gamma[c.Blue], gamma[c.Green], gamma[c.Red], 0};
    return;
  }
  const std::size_t samples = bitmap.BitsPerPixel() == 32 ? 4 : 3;
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* row = bitmap.RowAt(y);
    for (png_uint_32 x = 0; x < h.Width; ++x) {
      std::uint8_t* p = row + x * samples;
      p[0] = gamma[p[0]];
      p[1] = gamma[p[1]];
      p[2] = gamma[p[2]];
    }
  }
}

// The first rowLimit rows of the picture into bitmap, or all of them; returns the height.
// Interlaced rows are complete only after the last pass, so such a picture is read whole.
png_uint_32 DecodePng(TByteReader& input, png_uint_32 rowLimit, const TPixelLimits& limits,
                      TBitmap& out) {
  const bool headOnly = rowLimit != UINT32_MAX;
  const std::uint64_t firstData = PrecheckFile(input, limits, headOnly);
  TPngDecoder d;
  OpenDecoder(d, input, limits);
  THeader h{};
  if (!PngReadHeader(&d, &h)) RaisePngError(d.State);
  CheckPictureSize(limits, kFormat, h.Width, h.Height, 32);
  const std::uint64_t fileRowBits =
      std::uint64_t{h.Width} * png_get_channels(d.Png, d.Info) * static_cast<unsigned>(h.BitDepth);
  if (!PngSetTransforms(&d, h)) RaisePngError(d.State);

  const bool whole = rowLimit >= h.Height || h.Interlace != PNG_INTERLACE_NONE;
  // The chunks after the image are read too, so they get the same bound first.
  if (whole && headOnly) PrecheckFile(input, limits, false);
  RequireImageData(input, firstData, fileRowBits * (whole ? h.Height : rowLimit) / 8);
  const png_uint_32 count = whole ? h.Height : rowLimit;
  const int bpp = BitmapDepth(h);
  TBitmap bitmap;
  bitmap.Allocate(static_cast<int>(h.Width), static_cast<int>(count), bpp);
  if (png_get_rowbytes(d.Png, d.Info) > bitmap.RowLength()) {
    throw DamagedError(kFormat, Tr("行的长度与图像不符"));
  }
  const std::span<std::uint8_t> bits = bitmap.MutableBits();
  std::vector<png_bytep> rows(count);
  for (png_uint_32 y = 0; y < count; ++y) rows[y] = bits.data() + y * bitmap.RowLength();
  if (!PngReadImage(&d, rows.data(), count, whole)) RaisePngError(d.State);
  if (Indexed(h) && h.BitDepth == 2) {
    for (png_bytep row : rows) Expand2To4(row, h.Width);
  }
  bitmap.Palette() = ReadPalette(d, h, bpp);
  ApplyGamma(h, bitmap);
  out = std::move(bitmap);
  return h.Height;
}

}  // namespace

void TPNGGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TBitmap bitmap;
  TByteReader input(data, kFormat);
  DecodePng(input, UINT32_MAX, Limits(), bitmap);
  TBitmap::operator=(std::move(bitmap));
}

// Also the whole load from a file (with every row asked for): libpng pulls the file through a
// small buffer, so no copy of it is held beside the bitmap.
std::optional<int> TPNGGraphic::LoadFirstRows(const std::string& fileName, int rowCount) {
  const TPictureFile file(fileName, Limits());
  TByteReader input(file, kFormat);
  TBitmap bitmap;
  // Every row asked for is a whole load, which checks every chunk first as a load from memory does.
  const png_uint_32 rowLimit =
      rowCount == INT_MAX ? UINT32_MAX : static_cast<png_uint_32>(std::max(rowCount, 1));
  const auto height = static_cast<int>(DecodePng(input, rowLimit, Limits(), bitmap));
  TBitmap::operator=(std::move(bitmap));
  return height;
}

}  // namespace pennacrow
