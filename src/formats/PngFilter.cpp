#include "formats/PngFilter.h"

#include <cstdlib>

namespace pennacrow {

namespace {

std::uint8_t PaethPredictor(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  if (pb <= pc) return static_cast<std::uint8_t>(b);
  return static_cast<std::uint8_t>(c);
}

void FilterSub(const std::uint8_t* row, std::size_t n, std::size_t bpp, std::uint8_t* out) {
  for (std::size_t i = 0; i < n && i < bpp; ++i) out[i] = row[i];
  for (std::size_t i = bpp; i < n; ++i) out[i] = static_cast<std::uint8_t>(row[i] - row[i - bpp]);
}

void FilterAverage(const std::uint8_t* row, const std::uint8_t* prior, std::size_t n,
                   std::size_t bpp, std::uint8_t* out) {
  for (std::size_t i = 0; i < n && i < bpp; ++i) {
    out[i] = static_cast<std::uint8_t>(row[i] - (prior[i] >> 1));
  }
  for (std::size_t i = bpp; i < n; ++i) {
    out[i] = static_cast<std::uint8_t>(row[i] - ((row[i - bpp] + prior[i]) >> 1));
  }
}

void FilterPaeth(const std::uint8_t* row, const std::uint8_t* prior, std::size_t n, std::size_t bpp,
                 std::uint8_t* out) {
  // With nothing to the left the predictor is the byte above.
  for (std::size_t i = 0; i < n && i < bpp; ++i)
    out[i] = static_cast<std::uint8_t>(row[i] - prior[i]);
  for (std::size_t i = bpp; i < n; ++i) {
    out[i] =
        static_cast<std::uint8_t>(row[i] - PaethPredictor(row[i - bpp], prior[i], prior[i - bpp]));
  }
}

}  // namespace

std::size_t RepeatedByteCount(std::span<const std::uint8_t> row) {
  // A position counts when it ends a run of at least five equal bytes.
  std::size_t count = 0;
  std::size_t run = 1;
  for (std::size_t j = 1; j < row.size(); ++j) {
    run = row[j] == row[j - 1] ? run + 1 : 1;
    count += run >= 5 ? 1 : 0;
  }
  return count;
}

TPngRowFilter::TPngRowFilter(std::size_t rowBytes, std::size_t bytesPerPixel)
    : FRowBytes(rowBytes),
      FBytesPerPixel(bytesPerPixel),
      FZeros(rowBytes),
      FSub(rowBytes),
      FAverage(rowBytes),
      FPaeth(rowBytes) {}

TPngFilter TPngRowFilter::Choose(const std::uint8_t* row, const std::uint8_t* prior) {
  if (prior == nullptr) prior = FZeros.data();
  const std::size_t n = FRowBytes;
  FilterSub(row, n, FBytesPerPixel, FSub.data());
  FilterAverage(row, prior, n, FBytesPerPixel, FAverage.data());
  FilterPaeth(row, prior, n, FBytesPerPixel, FPaeth.data());

  TPngFilter best = TPngFilter::None;
  std::size_t bestCount = RepeatedByteCount({row, n});
  FChosen = row;
  auto consider = [&](TPngFilter filter, const std::vector<std::uint8_t>& candidate) {
    const std::size_t count = RepeatedByteCount(candidate);
    if (count > bestCount) {
      best = filter;
      bestCount = count;
      FChosen = candidate.data();
    }
  };
  consider(TPngFilter::Sub, FSub);
  consider(TPngFilter::Average, FAverage);
  consider(TPngFilter::Paeth, FPaeth);
  return best;
}

}  // namespace pennacrow
