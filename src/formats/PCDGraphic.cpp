#include "formats/PCDGraphic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TPCDGraphic::ClassInfo{"TPCDGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPCDGraphic);
                                           }};

namespace {

const char* const kFormat = "Kodak Photo-CD";
constexpr std::size_t kSignatureOffset = 0x800;
constexpr char kSignature[] = "PCD_IPI";
constexpr std::size_t kBaseOffset = 0x30000;
constexpr int kWidth = 768;
constexpr int kHeight = 512;
// Two luma rows, then one row each of the two chroma components at half width.
constexpr std::size_t kRowPairBytes = 2 * kWidth + kWidth;
constexpr std::size_t kBaseBytes = kRowPairBytes * (kHeight / 2);

std::uint8_t Clamp(double v) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

}  // namespace

bool TPCDGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  const std::size_t signatureLength = sizeof kSignature - 1;
  return head.size() >= kSignatureOffset + signatureLength &&
         std::memcmp(head.data() + kSignatureOffset, kSignature, signatureLength) == 0;
}

void TPCDGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  if (!HeaderLooksValid(data)) throw InvalidFormatError(kFormat);
  if (data.size() < kBaseOffset + kBaseBytes) throw TruncatedError(kFormat);
  CheckPictureSize(Limits(), kFormat, kWidth, kHeight, 24);

  TBitmap picture(kWidth, kHeight, 24);
  const std::uint8_t* pair = data.data() + kBaseOffset;
  for (int y = 0; y < kHeight; y += 2, pair += kRowPairBytes) {
    const std::uint8_t* cb = pair + 2 * kWidth;
    const std::uint8_t* cr = cb + kWidth / 2;
    for (int dy = 0; dy < 2; ++dy) {
      const std::uint8_t* luma = pair + dy * kWidth;
      std::uint8_t* out = picture.RowAt(y + dy);
      for (int x = 0; x < kWidth; ++x) {
        // PhotoYCC to RGB: luma and the two chroma offsets with Kodak's published factors.
        const double l = 1.3584 * luma[x];
        const double c1 = 2.2179 * (cb[x / 2] - 156.0);
        const double c2 = 1.8215 * (cr[x / 2] - 137.0);
        out[3 * x] = Clamp(l + c1);
        out[3 * x + 1] = Clamp(l - 0.194 * c1 - 0.509 * c2);
        out[3 * x + 2] = Clamp(l + c2);
      }
    }
  }
  Assign(picture);
}

}  // namespace pennacrow
