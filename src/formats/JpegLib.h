#pragma once
// What the two users of libjpeg share: the pixel decoder (formats/JPEGImage.h) and the reader and
// writer of quantised coefficients (formats/JPEGCoefficients.h). libjpeg reports a fatal error
// through error_exit, which must not return and must not end the process: it jumps back to the
// setjmp of the phase function that called into the library. Only plain C data lives in the
// frames such a jump crosses; each phase function returns false when it was jumped out of, and
// the caller raises the error as one of the picture layer's kinds.

// jpeglib.h needs FILE and size_t declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <exception>

#include "picture/ByteReader.h"
#include "picture/PixelLimits.h"

namespace pennacrow::jpeg {

inline constexpr const char* kFormat = "JPEG";

// A progressive file may hold any number of scans, and each one makes libjpeg run over the whole
// coefficient buffer again: a small file of thousands of tiny scans keeps it busy for minutes.
// Real encoders write about ten; anything beyond this many is refused.
inline constexpr int kMaxScans = 256;

struct TErrorState {
  jpeg_error_mgr Manager;  // first member: libjpeg hands us &Manager as cinfo->err
  std::jmp_buf Jump;
  int Code;
  bool EndOfData;   // the data ended, or its end marker came, before the picture did
  bool CutSegment;  // another marker came before a segment's data was complete
  bool TooManyScans;
  // The coded data did not decode (a bad code, a lost restart): libjpeg carries on with zeros
  // where it failed, which shows as a flaw but would be written back as the picture's data.
  bool BadCode;
  char Message[JMSG_LENGTH_MAX];
};

// Points cinfo at the error state with handlers that never print and never end the process.
void InstallErrorHandlers(TErrorState& state);

// libjpeg pulls its input through this: from memory, or from the file a buffer at a time.
struct TSource {
  jpeg_source_mgr Manager;
  TByteReader* Input;
  std::exception_ptr ReadFailure;  // the file could not be read; raised as it was
  JOCTET FakeEnd[2];
  // The scans read so far, as an encoder's scan script: a file written again with its own
  // script keeps its size.
  jpeg_scan_info Scans[kMaxScans];
  int ScanCount;
};

struct TDecoder {
  jpeg_decompress_struct Info{};  // zeroed: jpeg_destroy_decompress is safe before creation
  TErrorState Error{};
  jpeg_progress_mgr Progress{};
  TSource Source{};
  TDecoder() = default;
  TDecoder(const TDecoder&) = delete;
  TDecoder& operator=(const TDecoder&) = delete;
  ~TDecoder() { jpeg_destroy_decompress(&Info); }
};

// Phase 1: creates the decompressor over input with the memory budget of the limits, lets
// prepare ask for markers to be kept, and reads the header. Returns false when libjpeg raised an
// error.
bool ReadHeader(TDecoder* d, TByteReader& input, const TPixelLimits& limits,
                void (*prepare)(j_decompress_ptr) = nullptr);

// Raises the decoder's error as its kind: the read failure as it was, data that ended early as
// truncated, a cut segment as damaged, and the rest with libjpeg's own words.
[[noreturn]] void RaiseError(const TDecoder& decoder);

// Every 8 x 8 block of every component is coded in some scan, and a Huffman code takes at least
// a bit: a file whose coded data after the header cannot hold the blocks of the rows asked for
// (of the whole picture, for a multi-scan file or with allBlocks) is refused as truncated before
// libjpeg or we allocate anything for them.
void RequireCodedBlocks(TDecoder& decoder, JDIMENSION rowLimit, bool allBlocks = false);

}  // namespace pennacrow::jpeg
