// The container on a small bitmap built from the input: a text that fits reads back unchanged
// and only the low bits of the first width bytes of each row change; a text that does not fit
// is refused and leaves every pixel as it was.
#include <string>
#include <vector>

#include "FuzzHarness.h"
#include "codec/BinaryUnit.h"
#include "codec/Container.h"
#include "crypto/CryptBase64.h"

using namespace pennacrow;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::TInput in(data, size);
  const std::uint8_t format = (in.Byte() & 1) ? kFormatEncrypted : kFormatPlain;
  TBitmap bitmap = fuzz::BitmapFromInput(in);
  const auto rest = in.Rest();
  const std::string text(rest.begin(), rest.end());

  // Rows below 8 bits per pixel are widened before writing; compare against a widened copy.
  TBitmap before;
  before.Assign(bitmap);
  if (before.BitsPerPixel() < 8) before.SetBitsPerPixel(24);

  const std::string bits = BuildBinaryString(text, format);
  const bool fits =
      static_cast<std::int64_t>(bits.size()) <= std::int64_t{bitmap.Width()} * bitmap.Height() &&
      text.size() < 65536;
  try {
    AddBinaryToImage(bitmap, bits);
  } catch (const ETextDoesNotFit&) {
    FUZZ_REQUIRE(!fits);
    fuzz::TInput again(data, size);
    (void)again.Byte();
    const TBitmap original = fuzz::BitmapFromInput(again);
    FUZZ_REQUIRE(bitmap.BitsPerPixel() == original.BitsPerPixel());
    FUZZ_REQUIRE(std::vector<std::uint8_t>(bitmap.Bits().begin(), bitmap.Bits().end()) ==
                 std::vector<std::uint8_t>(original.Bits().begin(), original.Bits().end()));
    return 0;
  }
  FUZZ_REQUIRE(fits);
  FUZZ_REQUIRE(bitmap.BitsPerPixel() == before.BitsPerPixel());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* now = bitmap.ConstRowAt(y);
    const std::uint8_t* was = before.ConstRowAt(y);
    for (std::size_t i = 0; i < bitmap.RowLength(); ++i) {
      const std::uint8_t changed = now[i] ^ was[i];
      FUZZ_REQUIRE(changed == 0 || (changed == 1 && i < static_cast<std::size_t>(bitmap.Width())));
    }
  }
  std::uint8_t read = 0;
  FUZZ_REQUIRE(RemoveBinaryFromImage(bitmap, read) == text);
  FUZZ_REQUIRE(read == format);
  // The probe names the container only when its text is what a writer of that format leaves;
  // any other is no container, never one of another format.
  const bool plausible =
      !text.empty() && (format == kFormatPlain ? IsPlainText(text) : IsStrictBase64(text));
  const std::uint8_t found = DetectDataFormat(&bitmap);
  FUZZ_REQUIRE(found == format || (!plausible && !HoldsContainer(found)));
  return 0;
}
