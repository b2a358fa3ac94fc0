#include "formats/JpegLib.h"
#include "text/Translate.h"

#include <jerror.h>

#include <algorithm>
#include <climits>

#include "picture/Errors.h"

namespace pennacrow::jpeg {

namespace {

void ErrorExit(j_common_ptr cinfo) {
  auto* state = reinterpret_cast<TErrorState*>(cinfo->err);
  state->Code = cinfo->err->msg_code;
  cinfo->err->format_message(cinfo, state->Message);
  std::longjmp(state->Jump, 1);
}

// Warnings and trace messages are never printed; data that ends early is remembered, since
// libjpeg would otherwise hand back a picture whose missing part is grey. The data ends where the
// file ends or where a marker cuts the coded rows short: the end-of-image marker of a file whose
// header claims more rows than it holds, or any other marker in the middle of a damaged file.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* state = reinterpret_cast<TErrorState*>(cinfo->err);
  const int code = cinfo->err->msg_code;
  if (code == JWRN_JPEG_EOF) state->EndOfData = true;
  if ((code == JWRN_HUFF_BAD_CODE || code == JWRN_ARITH_BAD_CODE || code == JWRN_MUST_RESYNC) &&
      !state->BadCode) {
    state->BadCode = true;
    cinfo->err->format_message(cinfo, state->Message);
  }
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

void OutputMessage(j_common_ptr) {}

// Called by libjpeg between chunks of input while it reads a multi-scan file. A scan's
// parameters hold from its header on, so the first call after a new scan number records them.
void Progress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  const auto* info = reinterpret_cast<j_decompress_ptr>(cinfo);
  const int scan = info->input_scan_number;
  if (scan > kMaxScans) {
    reinterpret_cast<TErrorState*>(cinfo->err)->TooManyScans = true;
    cinfo->err->msg_code = JERR_NOTIMPL;
    cinfo->err->error_exit(cinfo);
  }
  auto* source = static_cast<TSource*>(info->client_data);
  if (scan < 1 || scan <= source->ScanCount || info->comps_in_scan < 1) return;
  jpeg_scan_info& recorded = source->Scans[source->ScanCount++];
  recorded.comps_in_scan = info->comps_in_scan;
  for (int i = 0; i < info->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
    recorded.component_index[i] = info->cur_comp_info[i]->component_index;
  }
  recorded.Ss = info->Ss;
  recorded.Se = info->Se;
  recorded.Ah = info->Ah;
  recorded.Al = info->Al;
}

// What one refill asks of the stream: the stream's own buffer for a file, any part of memory.
constexpr std::size_t kReadBytes = 64 << 10;

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  auto* source = static_cast<TSource*>(cinfo->client_data);
  std::span<const std::uint8_t> part;
  try {
    part = source->Input->Next(kReadBytes);
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
void SkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* source = static_cast<TSource*>(cinfo->client_data);
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

// Arithmetic coding can take less than a bit for a block that repeats its neighbours, so it
// gets a generous bound.
constexpr std::uint64_t kHuffmanBlocksPerByte = 8;
constexpr std::uint64_t kArithmeticBlocksPerByte = 256;

}  // namespace

void InstallErrorHandlers(TErrorState& state) {
  jpeg_std_error(&state.Manager);
  state.Manager.error_exit = ErrorExit;
  state.Manager.emit_message = EmitMessage;
  state.Manager.output_message = OutputMessage;
}

bool ReadHeader(TDecoder* d, TByteReader& input, const TPixelLimits& limits,
                void (*prepare)(j_decompress_ptr)) {
  InstallErrorHandlers(d->Error);
  d->Info.err = &d->Error.Manager;
  if (setjmp(d->Error.Jump)) return false;
  jpeg_create_decompress(&d->Info);
  d->Progress.progress_monitor = Progress;
  d->Info.progress = &d->Progress;
  // The coefficient buffer of a multi-scan file is libjpeg's one large allocation; without a
  // backing store, a buffer beyond this raises an error instead of exhausting memory. Twice the
  // pixel limit leaves room for four components at a higher resolution than the output.
  const std::uint64_t budget = std::min<std::uint64_t>(2 * limits.MaxBytes, LONG_MAX);
  d->Info.mem->max_memory_to_use = static_cast<long>(budget);
  d->Source.Input = &input;
  d->Source.Manager.init_source = InitSource;
  d->Source.Manager.fill_input_buffer = FillInput;
  d->Source.Manager.skip_input_data = SkipInput;
  d->Source.Manager.resync_to_restart = jpeg_resync_to_restart;
  d->Source.Manager.term_source = TermSource;
  d->Info.src = &d->Source.Manager;
  d->Info.client_data = &d->Source;
  if (prepare != nullptr) prepare(&d->Info);
  jpeg_read_header(&d->Info, TRUE);
  return true;
}

void RaiseError(const TDecoder& decoder) {
  if (decoder.Source.ReadFailure) std::rethrow_exception(decoder.Source.ReadFailure);
  const TErrorState& error = decoder.Error;
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

void RequireCodedBlocks(TDecoder& decoder, JDIMENSION rowLimit, bool allBlocks) {
  jpeg_decompress_struct& info = decoder.Info;
  std::uint64_t blocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    blocks += std::uint64_t{component.width_in_blocks} * component.height_in_blocks;
  }
  // Called after a successful header, where this cannot raise an error.
  if (!allBlocks && !jpeg_has_multiple_scans(&info) && rowLimit < info.image_height) {
    blocks = CeilDiv(blocks * rowLimit, info.image_height);
  }
  const TByteReader& input = *decoder.Source.Input;
  const std::uint64_t coded = input.Size() - input.Position() + info.src->bytes_in_buffer;
  const std::uint64_t perByte = info.arith_code ? kArithmeticBlocksPerByte : kHuffmanBlocksPerByte;
  if (blocks > coded * perByte) throw TruncatedError(kFormat);
}

}  // namespace pennacrow::jpeg
