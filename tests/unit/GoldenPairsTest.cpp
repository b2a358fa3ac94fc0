// Files written by other programs, each beside the pixels it must decode to: tests/data/<format>/
// holds name.<ext> with name.expected.bmp, and damaged twins name.bad.<ext> that must be refused
// with our own error. The reference pixels come from mainstream decoders, so a channel may differ
// by the rounding of a colour conversion.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "formats/Registry.h"
#include "picture/Bitmap.h"
#include "picture/Errors.h"

namespace pennacrow::test {
namespace {

namespace fs = std::filesystem;
constexpr int kTolerance = 3;

// The picture as the picture control gets it: its own bitmap, or drawn onto a canvas.
TBitmap Pixels(TGraphic& picture) {
  if (const TBitmap* bitmap = picture.GetBitmap()) {
    TBitmap copy;
    copy.Assign(*bitmap);
    return copy;
  }
  TBitmap canvas(picture.Width(), picture.Height(), 24);
  picture.Draw(canvas);
  return canvas;
}

// "" when the pictures agree, else where they first differ.
std::string Compare(const TBitmap& got, const TBitmap& want) {
  if (got.Width() != want.Width() || got.Height() != want.Height()) {
    return "size " + std::to_string(got.Width()) + "x" + std::to_string(got.Height()) +
           ", expected " + std::to_string(want.Width()) + "x" + std::to_string(want.Height());
  }
  for (int y = 0; y < got.Height(); ++y) {
    for (int x = 0; x < got.Width(); ++x) {
      const TRGBQuad a = got.GetPixel(x, y), b = want.GetPixel(x, y);
      const int d = std::max(
          {std::abs(a.Red - b.Red), std::abs(a.Green - b.Green), std::abs(a.Blue - b.Blue)});
      if (d > kTolerance) {
        return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") differs by " +
               std::to_string(d);
      }
    }
  }
  return "";
}

void CheckGoldenPairs(const std::string& format) {
  const fs::path dir = fs::path(PENNACROW_TEST_DATA) / format;
  int pairs = 0, refusals = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".expected.") != std::string::npos) continue;
    const bool damaged = name.find(".bad.") != std::string::npos;
    try {
      const auto picture = LoadGraphicFile(FileFormats(), entry.path().string());
      if (damaged) {
        ADD_FAILURE() << name << ": loaded, expected a refusal";
        continue;
      }
      fs::path expected = entry.path();
      expected.replace_extension(".expected.bmp");
      TBitmap want;
      want.LoadFromFile(expected.string());
      const std::string fault = Compare(Pixels(*picture), want);
      EXPECT_EQ(fault, "") << name;
      ++pairs;
    } catch (const EInvalidGraphicFormat& e) {
      if (damaged) {
        ++refusals;
      } else {
        ADD_FAILURE() << name << ": " << e.what();
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << name << ": unexpected exception: " << e.what();
    }
  }
  EXPECT_GT(pairs, 0) << dir;
  EXPECT_GT(refusals, 0) << dir;
}

TEST(GoldenPairs, Targa) {
  CheckGoldenPairs("tga");
}

TEST(GoldenPairs, Bmp) {
  CheckGoldenPairs("bmp");
}

TEST(GoldenPairs, Gif) {
  CheckGoldenPairs("gif");
}

TEST(GoldenPairs, Icon) {
  CheckGoldenPairs("ico");
}

TEST(GoldenPairs, Psd) {
  CheckGoldenPairs("psd");
}

TEST(GoldenPairs, Rla) {
  CheckGoldenPairs("rla");
}

TEST(GoldenPairs, Tiff) {
  CheckGoldenPairs("tiff");
}

}  // namespace
}  // namespace pennacrow::test
