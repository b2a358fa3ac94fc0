#pragma once
// The PNG writer's row filters and its per-row filter choice. Kept apart from the writer so that
// the choice can be checked on crafted rows.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pennacrow {

// Filter-type bytes as PNG numbers them. Up (2) exists in the format but the writer never uses it.
enum class TPngFilter : std::uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

// Positions j (4 <= j < size) whose byte equals each of the four bytes before it; the writer
// judges a filtered row by this count.
std::size_t RepeatedByteCount(std::span<const std::uint8_t> row);

// Filters whole rows for the writer. The candidate rows live in buffers made once, so filtering
// a picture allocates nothing per row.
class TPngRowFilter {
 public:
  // rowBytes: unfiltered bytes of one row; bytesPerPixel: 1 for indexed rows, 3 for RGB rows.
  TPngRowFilter(std::size_t rowBytes, std::size_t bytesPerPixel);

  // Filters row (rowBytes bytes) against prior, the unfiltered row above it (nullptr for the top
  // row, which is filtered against zeros), with the filter of the highest repeated-byte count
  // among None, Sub, Average and Paeth, in that order. A later filter wins only with a strictly
  // higher count, so ties go to the lower number and a row where every count is 0 takes None.
  // Filtered() then gives the chosen row's bytes, valid until the next call (for None they are
  // row itself).
  TPngFilter Choose(const std::uint8_t* row, const std::uint8_t* prior);
  std::span<const std::uint8_t> Filtered() const { return {FChosen, FRowBytes}; }

 private:
  std::size_t FRowBytes;
  std::size_t FBytesPerPixel;
  std::vector<std::uint8_t> FZeros;  // the row above the top row
  std::vector<std::uint8_t> FSub;
  std::vector<std::uint8_t> FAverage;
  std::vector<std::uint8_t> FPaeth;
  const std::uint8_t* FChosen = nullptr;
};

}  // namespace pennacrow
