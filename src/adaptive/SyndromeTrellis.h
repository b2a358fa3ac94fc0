#pragma once
// Syndrome-trellis codes (Filler, Judas and Fridrich, 2011): a message of m bits is carried as the
// syndrome H·y of a binary vector y of n bits; the writer finds the y closest to its cover vector
// x in the sense of a cost per flipped bit with the Viterbi algorithm, and the reader only
// multiplies. Nothing here knows pictures: a layer is a vector of cover bits and flip costs, so
// pixels and JPEG coefficients go through the same coder.
//
// The matrix H has m rows and n columns. Message bit j owns the columns
// [floor(j·n/m), floor((j+1)·n/m)), one block of width w_j (every block is w or w+1 wide, w the
// integer part of n/m). Within a block, the column at offset k is the h-bit word StcColumn(h, W,
// k), W = ceil(n/m), whose bit t sets row j + t; rows past m - 1 are cut off. So each column
// touches at most h consecutive rows and the trellis has 2^h states.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "base/Error.h"

namespace pennacrow::adaptive {

// The flip cost of a bit that must keep its value.
inline constexpr float kWet = std::numeric_limits<float>::infinity();

inline constexpr int kMinStcHeight = 1;
inline constexpr int kMaxStcHeight = 12;

// The cover cannot carry the message: too many of its bits are wet (or there are fewer columns
// than message bits) for any vector to have the message as its syndrome.
class EStcInfeasible : public EPennacrowError {
 public:
  EStcInfeasible();
};

// Column k of the h-row submatrix for blocks up to W columns wide: pseudo-random words from
// SplitMix64 with the top and bottom bit always set, which the paper's search found to be what
// good submatrices share.
std::uint32_t StcColumn(int height, std::size_t width, std::size_t k);

// Which inner loop the writer runs: Auto takes the vector unit when the processor has it;
// Portable is the plain loop, which gives the same result (tests compare the two).
enum class TStcKernel { Auto, Portable };

// The columns of one vector whose bit may flip, block by block, and what the others add to each
// block's syndrome.
struct TDryColumns {
  std::vector<std::uint64_t> Mask;         // bit c % 64 of word c / 64: column c is dry
  std::vector<std::uint32_t> WetSyndrome;  // XOR of the columns of block j's wet set bits

  // The first dry column in [c, end), or end.
  std::size_t Next(std::size_t c, std::size_t end) const;
  // The last dry column in [begin, c), or nothing (begin - 1 as it wraps).
  std::size_t Previous(std::size_t begin, std::size_t c) const;
};

// The writer: finds the y with H·y = message of least total cost. Its working memory, 2^h bits
// per column whose bit may flip, stays with it from one vector to the next, so that a picture
// cut into segments pays for the memory (and the system's first touch of it) once.
class TStcWriter {
 public:
  explicit TStcWriter(int height, TStcKernel kernel = TStcKernel::Auto);
  int Height() const { return FHeight; }

  // Writes y as 0/1 bytes to stego (as long as cover). cover holds 0/1 bytes, flipCost the cost
  // of each bit's flip (kWet: the bit keeps its value; no cost may be negative), message 0/1
  // bytes. Raises EStcInfeasible when no y exists.
  void Embed(std::span<const std::uint8_t> cover, std::span<const float> flipCost,
             std::span<const std::uint8_t> message, std::span<std::uint8_t> stego);

 private:
  std::uint8_t* PathMemory(std::size_t bytes);

  int FHeight;
  TStcKernel FKernel;
  std::unique_ptr<std::uint8_t[]> FPath;
  std::size_t FPathBytes = 0;
  TDryColumns FDry;
};

// TStcWriter(height, kernel).Embed(cover, flipCost, message).
std::vector<std::uint8_t> StcEmbed(std::span<const std::uint8_t> cover,
                                   std::span<const float> flipCost,
                                   std::span<const std::uint8_t> message, int height,
                                   TStcKernel kernel = TStcKernel::Auto);

// H·stego: the messageBits bits a reader gets back, as 0/1 bytes.
std::vector<std::uint8_t> StcExtract(std::span<const std::uint8_t> stego, std::size_t messageBits,
                                     int height);

}  // namespace pennacrow::adaptive
