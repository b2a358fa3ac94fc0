#pragma once
// The arithmetic of printing a picture at a scale: as large as the printable page allows at the
// picture's own aspect ratio, then reduced to a percentage of that, at the page's top-left
// corner. Pure functions; the front end does the printing.

#include <cstdint>
#include <optional>

namespace pennacrow {

// a x b / c with a 64-bit intermediate product, rounded to the nearest integer, halves away from
// zero. A zero divisor, or a result outside the 32-bit range, gives -1, as the platform's
// MulDiv does.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

struct TPrintSize {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  friend bool operator==(const TPrintSize&, const TPrintSize&) = default;
};

// The picture fitted to the page: a picture relatively wider than the page (the aspect ratios
// compared as floating-point quotients) takes the page width, any other the page height.
// Nothing (no value) for an empty picture or page, where no fit exists and nothing is printed.
std::optional<TPrintSize> FitToPage(std::int32_t pictureWidth, std::int32_t pictureHeight,
                                    std::int32_t pageWidth, std::int32_t pageHeight);

// percent of a fitted size, each side rounded to the nearest integer with halves to even.
TPrintSize ScalePrintSize(TPrintSize fitted, std::int32_t percent);

// The width and height of the rectangle, at the page's top-left corner, that a picture is
// stretched into when printed at percent; no value when nothing is to be printed.
std::optional<TPrintSize> PrintTargetSize(std::int32_t pictureWidth, std::int32_t pictureHeight,
                                          std::int32_t pageWidth, std::int32_t pageHeight,
                                          std::int32_t percent);

}  // namespace pennacrow
