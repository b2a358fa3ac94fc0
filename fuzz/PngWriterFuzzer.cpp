// The PNG writer on a small bitmap built from the input: what it writes decodes through
// TPNGGraphic (libpng) to the same pixels, with the same palette for indexed bitmaps.
#include <vector>

#include "FuzzHarness.h"
#include "formats/PNGGraphic.h"
#include "formats/PngWriter.h"

using namespace pennacrow;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::TInput in(data, size);
  const std::uint8_t flags = in.Byte();
  const TBitmap bitmap = fuzz::BitmapFromInput(in);
  TPngWriter writer;
  writer.Assign(bitmap);
  if (flags & 1) writer.SetTransparent(true, RGB(in.Byte(), in.Byte(), in.Byte()));

  const std::vector<std::uint8_t> png = writer.SaveToStream();
  FUZZ_REQUIRE(writer.BitsPerPixel() == bitmap.BitsPerPixel());  // the writer's copy unchanged
  TPNGGraphic decoded;
  try {
    decoded.LoadFromBytes(png);
  } catch (const std::exception& e) {
    fuzz::Unexpected(e);
  }

  const int depth = bitmap.BitsPerPixel();
  const bool indexed = depth <= 8;
  TBitmap expected;
  expected.Assign(bitmap);
  if (!indexed) expected.SetBitsPerPixel(24);
  FUZZ_REQUIRE(decoded.Width() == bitmap.Width() && decoded.Height() == bitmap.Height());
  FUZZ_REQUIRE(decoded.BitsPerPixel() == expected.BitsPerPixel());
  if (indexed) FUZZ_REQUIRE(decoded.Palette() == expected.Palette());
  for (int y = 0; y < bitmap.Height(); ++y) {
    if (indexed) {
      // Whole bytes of packed indices, then the pixels of a partly used last byte.
      const std::size_t fullBytes = static_cast<std::size_t>(bitmap.Width()) * depth / 8;
      const std::uint8_t* a = decoded.ConstRowAt(y);
      const std::uint8_t* b = expected.ConstRowAt(y);
      FUZZ_REQUIRE(std::equal(a, a + fullBytes, b));
      for (int x = static_cast<int>(fullBytes * 8 / depth); x < bitmap.Width(); ++x) {
        FUZZ_REQUIRE(decoded.GetPixel(x, y) == expected.GetPixel(x, y));
      }
    } else {
      const std::uint8_t* a = decoded.ConstRowAt(y);
      const std::uint8_t* b = expected.ConstRowAt(y);
      FUZZ_REQUIRE(std::equal(a, a + 3 * static_cast<std::size_t>(bitmap.Width()), b));
    }
  }
  return 0;
}
