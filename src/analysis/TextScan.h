#pragma once
// The readable-text scan: what the usual low-bit scanners print. The low bit and the low two
// bits of the top rows are read in the common channel orders and in the writer's own order, the
// bits packed into bytes most or least significant bit first, and long runs of printable
// characters are reported.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "picture/Bitmap.h"

namespace pennacrow::analysis {

// The channel order a stream is read in.
// Bgr: the pixels' colour bytes in memory order (24 and 32 bits); Rgb: the same turned around;
// Writer: the first width bytes of each row, as the writer fills them; Bytes: a row's bytes for
// pictures of one or two bytes per pixel.
enum class TScanOrder { Bgr, Rgb, Writer, Bytes };

struct TTextFinding {
  TScanOrder Order = TScanOrder::Bytes;
  int Bits = 1;             // low bits taken from each sample: 1 or 2
  bool MsbFirst = true;     // the first bit read is a byte's most significant
  std::int64_t Offset = 0;  // in bytes of the stream
  std::int64_t Length = 0;  // characters in the run
  std::string Start;        // its first characters
  bool Base64 = false;      // only Base64 characters: an encrypted text looks like this
};

// Bytes read from each stream.
constexpr std::int64_t kScanBytes = 512;
// How many characters of a run are kept.
constexpr std::size_t kScanStartChars = 40;

// The shortest run reported: at least 8, and long enough that the low bits of a photograph (or
// random bytes) would give one by chance in fewer than one of a thousand pictures over all the
// streams read.
int MinimumRun(int streams);

// A run counts as text only with at least kTextMinimumDistinct different characters, none of
// them more than half of the run, no repeated pattern of kTextLongestPeriod characters or fewer,
// and at least kTextWordShare percent letters, digits and spaces: flat colours give runs of one
// character ("UUUU", "3333") or of a short pattern, and a text never does.
constexpr int kTextMinimumDistinct = 8;
constexpr std::size_t kTextLongestPeriod = 4;
constexpr int kTextWordShare = 85;
bool LooksLikeText(std::string_view run);

// Every stream's longest run of at least MinimumRun printable characters that looks like text,
// longest first.
std::vector<TTextFinding> ScanReadableText(const TBitmap& bitmap);

// The same over one byte stream (exposed for testing): runs of at least minimum characters.
std::vector<std::pair<std::int64_t, std::int64_t>> PrintableRuns(
    const std::vector<std::uint8_t>& bytes, int minimum);

}  // namespace pennacrow::analysis
