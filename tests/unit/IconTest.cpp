#include <gtest/gtest.h>

#include <png.h>
#include "SampleBuilder.h"
#include "TestUtil.h"

#include <cstring>

#include "picture/FileFormats.h"
#include "picture/FractalImage.h"
#include "picture/Icon.h"

namespace pennacrow::test {
namespace {

// An icon image as a device-independent bitmap: rows given top row first, unpadded; they are
// stored bottom row first and padded, the AND mask after the colours.
std::vector<std::uint8_t> Dib(int width, int height, int bpp, const std::vector<TRGBQuad>& palette,
                              const std::vector<std::vector<std::uint8_t>>& rows,
                              const std::vector<std::vector<std::uint8_t>>& mask,
                              std::uint32_t coloursUsed = 0) {
  TByteWriter w;
  w.U32LE(40).U32LE(width).U32LE(2 * height).U16LE(1).U16LE(bpp).U32LE(0).U32LE(0);
  w.U32LE(0).U32LE(0).U32LE(coloursUsed).U32LE(0);
  for (const TRGBQuad& c : palette) w.U8(c.Blue).U8(c.Green).U8(c.Red).U8(0);
  auto padded = [&](const std::vector<std::uint8_t>& row) {
    w.Append(row);
    w.Fill((4 - row.size() % 4) % 4);
  };
  for (int y = height - 1; y >= 0; --y) padded(rows[y]);
  for (int y = height - 1; y >= 0; --y) padded(mask[y]);
  return w.Bytes;
}

std::vector<std::uint8_t> Ico(const std::vector<std::vector<std::uint8_t>>& images) {
  TByteWriter w;
  w.U16LE(0).U16LE(1).U16LE(static_cast<unsigned>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (const auto& image : images) {
    w.U8(0).U8(0).U8(0).U8(0).U16LE(1).U16LE(32).U32LE(static_cast<std::uint32_t>(image.size()));
    w.U32LE(offset);
    offset += static_cast<std::uint32_t>(image.size());
  }
  for (const auto& image : images) w.Append(image);
  return w.Bytes;
}

// 2 x 2, 1 bit: top row black, white; bottom row white, black. The top-right pixel is masked.
std::vector<std::uint8_t> OneBit() {
  return Dib(2, 2, 1, {RGB(0, 0, 0), RGB(255, 255, 255)}, {{0x40}, {0x80}}, {{0x40}, {0x00}});
}

// 3 x 1, 32 bits with alpha 0, 128, 255.
std::vector<std::uint8_t> Alpha() {
  return Dib(3, 1, 32, {}, {{10, 20, 30, 0, 200, 100, 0, 128, 1, 2, 3, 255}}, {{0}});
}

TEST(IconTest, DecodesOneBitImagesWithTheirMask) {
  TIcon icon = Decoded<TIcon>(Ico({OneBit()}));
  ASSERT_EQ(icon.Width(), 2);
  ASSERT_EQ(icon.Height(), 2);
  EXPECT_EQ(icon.Image().GetPixel(0, 0), (TRGBQuad{0, 0, 0, 255}));
  EXPECT_EQ(icon.Image().GetPixel(1, 0).Reserved, 0);
  EXPECT_EQ(icon.Image().GetPixel(0, 1), (TRGBQuad{255, 255, 255, 255}));
}

TEST(IconTest, ChoosesTheLargestThenTheDeepestImage) {
  const auto small = OneBit();
  const auto four = Dib(4, 1, 4, std::vector<TRGBQuad>(16, RGB(1, 1, 1)), {{0, 0}}, {{0}});
  const auto eight = Dib(4, 1, 8, std::vector<TRGBQuad>(256, RGB(9, 9, 9)), {{0, 0, 0, 0}}, {{0}});
  TIcon icon = Decoded<TIcon>(Ico({small, four, eight}));
  ASSERT_EQ(icon.Width(), 4);
  EXPECT_EQ(icon.Image().GetPixel(3, 0), (TRGBQuad{9, 9, 9, 255}));
  icon.LoadFromBytes(Ico({eight, four, small}));
  EXPECT_EQ(icon.Image().GetPixel(3, 0), (TRGBQuad{9, 9, 9, 255}));
}

TEST(IconTest, DrawBlendsPartialAlphaAndKeepsWhatIsUnderTransparentPixels) {
  TIcon icon = Decoded<TIcon>(Ico({Alpha()}));
  TBitmap canvas(3, 1, 24);
  for (int x = 0; x < 3; ++x) canvas.SetPixel(x, 0, RGB(0, 0, 0));
  icon.Draw(canvas);
  EXPECT_EQ(canvas.GetPixel(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(canvas.GetPixel(1, 0), RGB(0, 50, 100));
  EXPECT_EQ(canvas.GetPixel(2, 0), RGB(3, 2, 1));
}

TEST(IconTest, ThirtyTwoBitImagesWithoutAlphaUseTheirMask) {
  TIcon icon = Decoded<TIcon>(Ico({Dib(2, 1, 32, {}, {{1, 2, 3, 0, 4, 5, 6, 0}}, {{0x80}})}));
  EXPECT_EQ(icon.Image().GetPixel(0, 0).Reserved, 0);
  EXPECT_EQ(icon.Image().GetPixel(1, 0), (TRGBQuad{4, 5, 6, 255}));
}

// A 5 x 3 RGBA PNG, transparent black but for the bottom-right pixel.
std::vector<std::uint8_t> Png() {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 5;
  image.height = 3;
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> pixels(5 * 3 * 4, 0);
  const std::uint8_t last[4] = {7, 8, 9, 255};
  std::memcpy(&pixels[pixels.size() - 4], last, 4);
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  std::vector<std::uint8_t> out(size);
  png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr);
  out.resize(size);
  return out;
}

TEST(IconTest, DecodesPngImages) {
  TIcon icon;
  const auto png = Png();
  icon.LoadFromBytes(Ico({OneBit(), png}));
  ASSERT_EQ(icon.Width(), 5);
  ASSERT_EQ(icon.Height(), 3);
  EXPECT_EQ(icon.Image().GetPixel(4, 2), (TRGBQuad{9, 8, 7, 255}));
  EXPECT_EQ(icon.Image().GetPixel(0, 0).Reserved, 0);
  auto broken = png;
  broken.resize(40);
  ExpectRefusals(TIcon::ClassInfo, {{"PNG image cut", Ico({broken}), TGraphicFault::Damaged}});
}

TEST(IconTest, LoadedOverAPhotographTheTransparentPixelsShowIt) {
  TTempDir dir;
  TBitmap photo(4, 4, 24);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) photo.SetPixel(x, y, RGB(10 * x, 20 * y, 99));
  }
  photo.SaveToFile(dir.Path("photo.bmp"));
  WriteFileBytes(dir.Path("icon.ico"), Ico({OneBit()}));
  TFileFormatsList formats;

  // Loaded in place, or (as the desktop program loads) into a fresh control over the other.
  for (const bool fresh : {false, true}) {
    SCOPED_TRACE(fresh ? "fresh control" : "in place");
    TFractalImage control(formats);
    control.LoadPictureFile(dir.Path("photo.bmp"));
    TFractalImage loaded(formats);
    if (fresh) {
      loaded.LoadPictureFileOver(dir.Path("icon.ico"), control);
      EXPECT_EQ(control.PictureWidth(), 4);  // untouched until taken over
    } else {
      control.LoadPictureFile(dir.Path("icon.ico"));
    }
    const TBitmap& bitmap = (fresh ? loaded : control).PictureBitmap();
    ASSERT_EQ(bitmap.Width(), 2);
    ASSERT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_EQ(bitmap.GetPixel(1, 0), RGB(10, 0, 99));
    EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(bitmap.GetPixel(1, 1), RGB(0, 0, 0));
  }

  TFractalImage empty(formats);
  empty.LoadPictureFile(dir.Path("icon.ico"));
  EXPECT_EQ(empty.PictureBitmap().GetPixel(1, 0), RGB(255, 255, 255));
  EXPECT_EQ(empty.PictureBitmap().BitsPerPixel(), 24);
}

TEST(IconTest, RefusesDamagedFiles) {
  using K = TGraphicFault;
  const std::size_t dib = 22;  // where the one image's bitmap header starts
  ExpectRefusals(TIcon::ClassInfo, Ico({OneBit()}),
                 {{"reserved word", {{0, 1}}, K::NotThisFormat},
                  {"type", {{2, 3}}, K::NotThisFormat},
                  {"no images", {{4, 0}}, K::NotThisFormat},
                  {"directory beyond the file", {{4, 200}}, K::Truncated},
                  {"image offset outside the file", {{21, 0x7F}}, K::Damaged},
                  {"image size outside the file", {{14, 0xFF}, {15, 0xFF}}, K::Damaged},
                  {"odd doubled height", {{dib + 8, 3}}, K::NotThisFormat},
                  {"beyond the pixel limits",
                   {{dib + 4, 0xFF}, {dib + 5, 0xFF}, {dib + 6, 0xFF}, {dib + 7, 0x7F}},
                   K::TooLarge},
                  {"16 bits", {{dib + 14, 16}}, K::Unsupported},
                  {"compressed", {{dib + 16, 1}}, K::Unsupported},
                  {"three colours for one bit", {{dib + 32, 3}}, K::BadPalette}});
  auto maskCut = Ico({OneBit()});
  maskCut.resize(maskCut.size() - 4);
  auto noMask = Ico({Dib(1, 1, 24, {}, {{1, 2, 3}}, {{0}})});
  noMask.resize(noMask.size() - 4);
  noMask[14] = static_cast<std::uint8_t>(noMask[14] - 4);
  ExpectRefusals(
      TIcon::ClassInfo,
      {{"zero width", Ico({Dib(0, 1, 1, {{}, {}}, {{0}}, {{0}})}), K::NotThisFormat},
       {"index beyond the palette",
        Ico({Dib(2, 1, 4, {RGB(1, 1, 1), RGB(2, 2, 2)}, {{0x15}}, {{0}}, 2)}), K::Damaged},
       {"mask cut: the entry runs past the end", maskCut, K::Damaged},
       {"24-bit image without its mask", noMask, K::Truncated}});
  TIcon icon;
  EXPECT_TRUE(LoadFailsWith(icon, {}, InvalidFormatMessage("ICO")));
}

TEST(IconTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TIcon::ClassInfo, Ico({OneBit(), Alpha()})));
}

}  // namespace
}  // namespace pennacrow::test
