#include "formats/JPEGImage.h"
#include "base/Translate.h"

// jpeglib.h needs FILE and size_t declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <exception>
#include <vector>

#include "picture/ByteReader.h"
#include "picture/Colour.h"
#include "picture/Errors.h"
#include "picture/PictureFile.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TJPEGImage::ClassInfo{"TJPEGImage", &TGraphic::ClassInfo,
                                          [] { return std::unique_ptr<TGraphic>(new TJPEGImage); }};

std::uint8_t JpegGreyIndex(std::uint8_t sample) {
  return static_cast<std::uint8_t>((sample * (kJpegGreyLevels - 1) + 127) / 255);
}

namespace {

const char* const kFormat = "JPEG";

// A progressive file may hold any number of scans, and each one makes libjpeg run over the whole
// coefficient buffer again: a small file of thousands of tiny scans keeps it busy for minutes.
// Real encoders write about ten; anything beyond this many is refused.
constexpr int kMaxScans = 256;

// libjpeg reports a fatal error by calling error_exit, which must not return. We jump back to
// the setjmp of the phase function that called into the library; only plain C data lives in the
// frames the jump crosses, and the decoder itself is released by its owner's destructor.
struct TJpegErrorState {
  jpeg_error_mgr Manager;  // first member: libjpeg hands us &Manager as cinfo->err
  std::jmp_buf Jump;
  int Code;
  bool EndOfData;   // the data ended, or its end marker came, before the picture did
  bool CutSegment;  // another marker came before a segment's data was complete
  bool TooManyScans;
  char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* state = reinterpret_cast<TJpegErrorState*>(cinfo->err);
  state->Code = cinfo->err->msg_code;
  cinfo->err->format_message(cinfo, state->Message);
  std::longjmp(state->Jump, 1);
}

// Warnings and trace messages are never printed; data that ends early is remembered, since
// libjpeg would otherwise hand back a picture whose missing part is grey. The data ends where the
// file ends or where a marker cuts the coded rows short: the end-of-image marker of a file whose
// header claims more rows than it holds, or any other marker in the middle of a damaged file.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* state = reinterpret_cast<TJpegErrorState*>(cinfo->err);
  const int code = cinfo->err->msg_code;
  if (code == JWRN_JPEG_EOF) state->EndOfData = true;
  if (code == JWRN_HIT_MARKER) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->unread_marker == JPEG_EOI) {
      state->EndOfData = true;
    } else if (!state->CutSegment) {
      state->CutSegment = true;
      cinfo->err->format_message(cinfo, state->Message);
    }
  }
  cinfo->err->num_warnings++;
}

void JpegOutputMessage(j_common_ptr) {}

// Called by libjpeg between chunks of input while it reads a multi-scan file.
void JpegProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxScans) return;
  reinterpret_cast<TJpegErrorState*>(cinfo->err)->TooManyScans = true;
  cinfo->err->msg_code = JERR_NOTIMPL;
  cinfo->err->error_exit(cinfo);
}

// libjpeg pulls its input through this: from memory, or from the file a buffer at a time, so a
// whole load holds no copy of the file and a read of the first rows reads little more than them.
struct TJpegSource {
  jpeg_source_mgr Manager;
  TByteReader* Input;
  std::exception_ptr ReadFailure;  // the file could not be read; raised as it was
  JOCTET FakeEnd[2];
};

// What one refill asks of the stream: the stream's own buffer for a file, any part of memory.
constexpr std::size_t kJpegReadBytes = 64 << 10;

void JpegInitSource(j_decompress_ptr) {}
void JpegTermSource(j_decompress_ptr) {}

boolean JpegFillInput(j_decompress_ptr cinfo) {
  auto* source = static_cast<TJpegSource*>(cinfo->client_data);
  std::span<const std::uint8_t> part;
  try {
    part = source->Input->Next(kJpegReadBytes);
  } catch (...) {
    source->ReadFailure = std::current_exception();
  }
  // Outside the handler: the error exit jumps, and no exception may be in flight then.
  if (source->ReadFailure) ERREXIT(cinfo, JERR_FILE_READ);
  if (part.empty()) {
    // As libjpeg's own sources do: a warning, which marks the data as cut, and an end marker,
    // so that the rows decoded so far are kept.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->FakeEnd[0] = 0xFF;
    source->FakeEnd[1] = JPEG_EOI;
    source->Manager.next_input_byte = source->FakeEnd;
    source->Manager.bytes_in_buffer = 2;
    return TRUE;
  }
  source->Manager.next_input_byte = part.data();
  source->Manager.bytes_in_buffer = part.size();
  return TRUE;
}

// Markers the decoder does not read are skipped in the stream, not read.
void JpegSkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* source = static_cast<TJpegSource*>(cinfo->client_data);
  jpeg_source_mgr& m = source->Manager;
  if (static_cast<unsigned long>(count) <= m.bytes_in_buffer) {
    m.next_input_byte += count;
    m.bytes_in_buffer -= static_cast<std::size_t>(count);
    return;
  }
  const std::uint64_t skip = static_cast<unsigned long>(count) - m.bytes_in_buffer;
  source->Input->Skip(std::min(skip, source->Input->Remaining()));
  m.next_input_byte = nullptr;
  m.bytes_in_buffer = 0;
}

struct TJpegDecoder {
  jpeg_decompress_struct Info{};  // zeroed: jpeg_destroy_decompress is safe before creation
  TJpegErrorState Error{};
  jpeg_progress_mgr Progress{};
  TJpegSource Source{};
  TJpegDecoder() = default;
  TJpegDecoder(const TJpegDecoder&) = delete;
  TJpegDecoder& operator=(const TJpegDecoder&) = delete;
  ~TJpegDecoder() { jpeg_destroy_decompress(&Info); }
};

// Phase 1: the header. Returns false when libjpeg raised an error.
bool JpegReadHeader(TJpegDecoder* d, TByteReader& input, const TPixelLimits& limits) {
  d->Info.err = jpeg_std_error(&d->Error.Manager);
  d->Error.Manager.error_exit = JpegErrorExit;
  d->Error.Manager.emit_message = JpegEmitMessage;
  d->Error.Manager.output_message = JpegOutputMessage;
  if (setjmp(d->Error.Jump)) return false;
  jpeg_create_decompress(&d->Info);
  d->Progress.progress_monitor = JpegProgress;
  d->Info.progress = &d->Progress;
  // The coefficient buffer of a multi-scan file is libjpeg's one large allocation; without a
  // backing store, a buffer beyond this raises an error instead of exhausting memory. Twice the
  // pixel limit leaves room for four components at a higher resolution than the output.
  const std::uint64_t budget = std::min<std::uint64_t>(2 * limits.MaxBytes, LONG_MAX);
  d->Info.mem->max_memory_to_use = static_cast<long>(budget);
  d->Source.Input = &input;
  d->Source.Manager.init_source = JpegInitSource;
  d->Source.Manager.fill_input_buffer = JpegFillInput;
  d->Source.Manager.skip_input_data = JpegSkipInput;
  d->Source.Manager.resync_to_restart = jpeg_resync_to_restart;
  d->Source.Manager.term_source = JpegTermSource;
  d->Info.src = &d->Source.Manager;
  d->Info.client_data = &d->Source;
  jpeg_read_header(&d->Info, TRUE);
  return true;
}

// Phase 2: decoding parameters and the start of decompression.
bool JpegStart(TJpegDecoder* d, J_COLOR_SPACE out) {
  if (setjmp(d->Error.Jump)) return false;
  d->Info.out_color_space = out;
  d->Info.scale_num = 1;
  d->Info.scale_denom = 1;
  d->Info.dct_method = JDCT_FLOAT;
  d->Info.do_block_smoothing = TRUE;
  d->Info.buffered_image = FALSE;
  jpeg_start_decompress(&d->Info);
  return true;
}

// CMYK as Adobe writes it (inverted, so 255 means no ink) or as the plain convention (255 means
// full ink), to blue, green, red.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
    bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
    bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
  }
}

// Phase 3: the scanlines above lastRow straight into the bitmap's rows (CMYK through one
// scratch row).
bool JpegReadRows(TJpegDecoder* d, std::uint8_t* bits, std::size_t rowLength, std::uint8_t* cmykRow,
                  JDIMENSION lastRow) {
  if (setjmp(d->Error.Jump)) return false;
  jpeg_decompress_struct* info = &d->Info;
  const bool inverted = info->saw_Adobe_marker;
  while (info->output_scanline < lastRow) {
    std::uint8_t* row = bits + static_cast<std::size_t>(info->output_scanline) * rowLength;
    if (cmykRow != nullptr) {
      JSAMPROW target = cmykRow;
      if (jpeg_read_scanlines(info, &target, 1) != 1) break;
      CmykRowToBgr(cmykRow, row, info->output_width, inverted);
      continue;
    }
    // Several rows per call, so that libjpeg can upsample straight into them.
    std::array<JSAMPROW, 16> rows;
    JDIMENSION count = 0;
    for (; count < rows.size() && info->output_scanline + count < lastRow; ++count) {
      rows[count] = row + count * rowLength;
    }
    if (jpeg_read_scanlines(info, rows.data(), count) == 0) break;
  }
  if (info->output_scanline == info->output_height) jpeg_finish_decompress(info);
  return true;
}

[[noreturn]] void RaiseJpegError(const TJpegDecoder& decoder) {
  if (decoder.Source.ReadFailure) std::rethrow_exception(decoder.Source.ReadFailure);
  const TJpegErrorState& error = decoder.Error;
  if (error.TooManyScans) {
    throw UnsupportedError(kFormat, TrF("超过 %1 次扫描的渐进式文件", {std::to_string(kMaxScans)}));
  }
  if (error.Code == JERR_NO_SOI || error.Code == JERR_INPUT_EMPTY) {
    throw InvalidFormatError(kFormat);
  }
  if (error.EndOfData) throw TruncatedError(kFormat);
  if (error.CutSegment) throw DamagedError(kFormat, error.Message);
  if (error.Code == JERR_BAD_PRECISION) {
    throw UnsupportedError(kFormat, Tr("采样精度"));
  }
  if (error.Code == JERR_CONVERSION_NOTIMPL) {
    throw UnsupportedError(kFormat, Tr("颜色空间"));
  }
  throw LibraryDamagedError(kFormat, error.Message);
}

// Every 8 x 8 block of every component is coded in some scan, and a Huffman code takes at
// least a bit; arithmetic coding can take less for a block that repeats its neighbours, so it
// gets a generous bound. A file whose coded data after the header cannot hold the blocks of the
// rows asked for (of the whole picture, when libjpeg keeps every block until the last scan) is
// refused before libjpeg or we allocate anything for them.
constexpr std::uint64_t kHuffmanBlocksPerByte = 8;
constexpr std::uint64_t kArithmeticBlocksPerByte = 256;

void RequireCodedBlocks(TJpegDecoder& decoder, JDIMENSION rowLimit) {
  jpeg_decompress_struct& info = decoder.Info;
  std::uint64_t blocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    blocks += std::uint64_t{component.width_in_blocks} * component.height_in_blocks;
  }
  // Called after a successful header, where this cannot raise an error.
  if (!jpeg_has_multiple_scans(&info) && rowLimit < info.image_height) {
    blocks = CeilDiv(blocks * rowLimit, info.image_height);
  }
  const TByteReader& input = *decoder.Source.Input;
  const std::uint64_t coded = input.Size() - input.Position() + info.src->bytes_in_buffer;
  const std::uint64_t perByte = info.arith_code ? kArithmeticBlocksPerByte : kHuffmanBlocksPerByte;
  if (blocks > coded * perByte) throw TruncatedError(kFormat);
}

// The scanlines above rowLimit, or all of them, into result; returns the picture's height.
JDIMENSION DecodeJpeg(TByteReader& input, JDIMENSION rowLimit, const TPixelLimits& limits,
                      TBitmap& result) {
  TJpegDecoder decoder;
  if (!JpegReadHeader(&decoder, input, limits)) RaiseJpegError(decoder);
  const jpeg_decompress_struct& info = decoder.Info;
  CheckPictureSize(limits, kFormat, info.image_width, info.image_height, 24);
  RequireCodedBlocks(decoder, rowLimit);

  J_COLOR_SPACE out;
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      out = JCS_GRAYSCALE;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      out = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      out = JCS_CMYK;
      break;
    default:
      throw UnsupportedError(kFormat, Tr("颜色空间"));
  }
  if (!JpegStart(&decoder, out)) RaiseJpegError(decoder);

  const JDIMENSION lastRow = std::min(rowLimit, info.output_height);
  TBitmap bitmap;
  bitmap.Allocate(static_cast<int>(info.output_width), static_cast<int>(lastRow),
                  out == JCS_GRAYSCALE ? 8 : 24);
  std::vector<std::uint8_t> cmykRow;
  if (out == JCS_CMYK) cmykRow.resize(static_cast<std::size_t>(info.output_width) * 4);
  const std::span<std::uint8_t> bits = bitmap.MutableBits();
  if (!JpegReadRows(&decoder, bits.data(), bitmap.RowLength(),
                    cmykRow.empty() ? nullptr : cmykRow.data(), lastRow)) {
    RaiseJpegError(decoder);
  }
  if (decoder.Error.EndOfData || info.output_scanline < lastRow) {
    throw TruncatedError(kFormat);
  }
  if (decoder.Error.CutSegment) throw DamagedError(kFormat, decoder.Error.Message);

  if (out == JCS_GRAYSCALE) {
    std::array<std::uint8_t, 256> index;
    for (int v = 0; v < 256; ++v) index[v] = JpegGreyIndex(static_cast<std::uint8_t>(v));
    for (std::uint8_t& b : bits) b = index[b];
    auto& palette = bitmap.Palette();
    palette.resize(kJpegGreyLevels);
    for (int i = 0; i < kJpegGreyLevels; ++i) {
      const std::uint8_t level = ScaleToByte(i, kJpegGreyLevels - 1);
      palette[i] = RGB(level, level, level);
    }
  }
  result = std::move(bitmap);
  return info.output_height;
}

}  // namespace

void TJPEGImage::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader input(data, kFormat);
  DecodeJpeg(input, UINT_MAX, Limits(), FBitmap);
}

void TJPEGImage::LoadFromFile(const std::string& fileName) {
  LoadFirstRows(fileName, INT_MAX);
}

std::optional<int> TJPEGImage::LoadFirstRows(const std::string& fileName, int rowCount) {
  const TPictureFile file(fileName, Limits());
  TByteReader input(file, kFormat);
  return static_cast<int>(
      DecodeJpeg(input, static_cast<JDIMENSION>(std::max(rowCount, 1)), Limits(), FBitmap));
}

}  // namespace pennacrow
