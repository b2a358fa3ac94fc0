#pragma once
// The rule every decoder keeps, written once for the fuzz targets and the unit tests: whatever
// the bytes, a load either yields a picture whose rows all lie inside its pixel buffer, or
// raises an EPennacrowError with a message. Anything else (a foreign exception, an
// inconsistent bitmap) is a fault, described in words so a test can print it.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <typeinfo>

#include "base/Error.h"
#include "picture/Bitmap.h"
#include "picture/Graphic.h"
#include "picture/PixelLimits.h"

namespace pennacrow::check {

// What is wrong with a bitmap's shape, or "" when its rows and palette are consistent.
inline std::string BitmapFault(const TBitmap& bitmap) {
  if (bitmap.Width() < 0 || bitmap.Height() < 0) return "negative size";
  if (bitmap.Bits().size() != bitmap.RowLength() * static_cast<std::size_t>(bitmap.Height()))
    return "rows do not match the pixel buffer";
  if (bitmap.RowLength() !=
      RowLengthFor(static_cast<std::uint64_t>(bitmap.Width()), bitmap.BitsPerPixel()))
    return "row length does not match the width";
  if (bitmap.BitsPerPixel() <= 8 && bitmap.Palette().size() > 256) return "palette too long";
  return "";
}

// Loads data into a fresh picture of the class under the given limits. visit sees every bitmap
// that came out (the fuzz harness reads all its bytes); refusal, when given, receives the
// message of a refused file. Returns "" for a clean load or refusal, else the fault.
template <class Visit>
std::string DecodeFault(const TGraphicClass& pictureClass, std::span<const std::uint8_t> data,
                        Visit visit, const TPixelLimits& limits = {},
                        std::string* refusal = nullptr) {
  if (pictureClass.Create == nullptr) return "picture class cannot be created";
  std::unique_ptr<TGraphic> picture = pictureClass.Create();
  picture->SetLimits(limits);
  try {
    picture->LoadFromBytes(data);
    if (const TBitmap* bitmap = picture->GetBitmap()) {
      if (std::string fault = BitmapFault(*bitmap); !fault.empty()) return fault;
      visit(*bitmap);
    } else if (picture->Width() > 0 && picture->Height() > 0) {
      // Pictures that can only draw themselves: the fallback path of a load.
      TBitmap canvas(picture->Width(), picture->Height(), 24);
      picture->Draw(canvas);
      visit(canvas);
    }
  } catch (const EPennacrowError& e) {
    if (std::string(e.what()).empty()) return "refused without a message";
    if (refusal != nullptr) *refusal = e.what();
  } catch (const std::exception& e) {
    return std::string("foreign exception ") + typeid(e).name() + ": " + e.what();
  }
  return "";
}

inline std::string DecodeFault(const TGraphicClass& pictureClass,
                               std::span<const std::uint8_t> data) {
  return DecodeFault(pictureClass, data, [](const TBitmap&) {});
}

// Every prefix of a file (the whole file excluded) loads or is refused cleanly: the first
// `dense` lengths one by one, then every `stride` bytes so that large samples stay quick.
// Returns "" or the first failing length and its fault.
inline std::string PrefixFault(const TGraphicClass& pictureClass,
                               std::span<const std::uint8_t> data, std::size_t dense = SIZE_MAX,
                               std::size_t stride = 1) {
  for (std::size_t n = 0; n < data.size(); n += n < dense ? 1 : stride) {
    if (std::string fault = DecodeFault(pictureClass, data.first(n)); !fault.empty())
      return "prefix of " + std::to_string(n) + " bytes: " + fault;
  }
  return "";
}

}  // namespace pennacrow::check
