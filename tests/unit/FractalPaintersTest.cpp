#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "picture/FractalPainters.h"
#include "picture/FractalRandom.h"

namespace pennacrow {
namespace {

const TRGBQuad kBlack = RGB(0, 0, 0);
const TRGBQuad kWhite = RGB(255, 255, 255);

// Escape time written out plainly: iterate up to N + 1 times, find the first step with
// |z|^2 >= 4, scale it by 16 / N with exact integer rounding (halves to even).
int ReferenceEscapeIndex(double pr, double pi, bool julia, int n) {
  double re = julia ? pr : 0, im = julia ? pi : 0;
  const double cr = julia ? 0 : pr, ci = julia ? 1 : pi;
  int m = -1;
  for (int k = 0; k <= n; ++k) {
    if (re * re + im * im >= 4) {
      m = k;
      break;
    }
    const double nextRe = re * re - im * im + cr;
    im = 2 * re * im + ci;
    re = nextRe;
  }
  if (m < 0 || m >= n) return 0;
  const long num = 16L * m, q = num / n, twiceR = 2 * (num % n);
  if (twiceR > n || (twiceR == n && q % 2 == 1)) return static_cast<int>(q + 1);
  return static_cast<int>(q);
}

TRGBQuad ReferenceEscapeColor(const TFractalProperties& p, int w, int h, int x, int y, bool julia) {
  const double dx = (p.X1 - p.X0) / w, dy = (p.Y1 - p.Y0) / h;
  return GetFractalColor(
      ReferenceEscapeIndex(p.X0 + x * dx, p.Y0 + y * dy, julia, p.NumberOfIterations));
}

int CountColor(const TBitmap& b, TRGBQuad c) {
  int count = 0;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) count += b.GetPixel(x, y) == c;
  }
  return count;
}

TEST(FractalPainters, PaletteLooksUpSixteenColoursAndWhiteOutside) {
  // Index, red, green, blue.
  const std::array<int, 4> cases[] = {{0, 0, 0, 0},        {1, 0, 0, 128},      {7, 192, 192, 192},
                                      {14, 255, 255, 0},   {15, 255, 255, 255}, {16, 255, 255, 255},
                                      {-1, 255, 255, 255}, {-15, 255, 255, 255}};
  for (const auto& [index, red, green, blue] : cases) {
    EXPECT_EQ(GetFractalColor(index), RGB(red, green, blue)) << index;
  }
}
TEST(FractalPainters, IfsThresholdsOutOfAHundred) {
  const std::array<int, 4> expected[] = {
      {13, 14, 88, 100}, {6, 43, 79, 100}, {13, 14, 88, 100}, {25, 50, 74, 99}};
  for (int t = 0; t < 4; ++t) EXPECT_EQ(IFSThresholds(IFSTable[t]), expected[t]) << t;
}

TEST(FractalPainters, MandelbrotTopLeftPixelEscapesAtOnce) {
  TBitmap b(827, 402, 24);
  DrawEscapeTime(b, TFractalProperties(), TEscapeTimeMode::Mandelbrot);
  EXPECT_EQ(b.GetPixel(0, 0), GetFractalColor(1));
  // The origin of the plane lies in the set, so some pixel near the centre is black.
  EXPECT_EQ(b.GetPixel(827 * 2 / 3, 201), kBlack);
}

TEST(FractalPainters, EscapeTimeMatchesAPlainReference) {
  for (int n : {16, 32, 5}) {
    for (bool julia : {false, true}) {
      TFractalProperties p;
      p.NumberOfIterations = n;
      TBitmap b(61, 37, 24);
      DrawEscapeTime(b, p, julia ? TEscapeTimeMode::Julia : TEscapeTimeMode::Mandelbrot);
      for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
          ASSERT_EQ(b.GetPixel(x, y), ReferenceEscapeColor(p, 61, 37, x, y, julia))
              << "n " << n << " julia " << julia << " at " << x << "," << y;
        }
      }
    }
  }
}

// All N ring passes in order into a grid, as the pattern is defined; the painter paints only
// the last one, which must come to the same.
std::vector<int> ReferenceRings(int w, int h, int passes) {
  std::vector<int> grid(static_cast<std::size_t>(w * h), -1);
  const int cx = w / 2, cy = h / 2, r = cy;
  auto set = [&](int x, int y, int index) {
    if (x >= 0 && y >= 0 && x < w && y < h) grid[static_cast<std::size_t>(y * w + x)] = index;
  };
  for (int k = 1; k <= passes; ++k) {
    for (int i = 0; i <= r; ++i) {
      for (int j = i; j <= r; ++j) {
        const int a = k * (i + 1), b = k * (j + 1), v = (a * a + b * b) / 1024;
        const int index = (v % 2) * 15;
        set(cx + i, cy + j, index), set(cx + j, cy + i, index), set(cx + j, cy - i, index);
        set(cx + i, cy - j, index), set(cx - i, cy - j, index), set(cx - j, cy - i, index);
        set(cx - j, cy + i, index), set(cx - i, cy + j, index);
      }
    }
  }
  return grid;
}

TEST(FractalPainters, MoireRingsFillTheCentreSquareAndLeaveLineBands) {
  const int w = 300, h = 100;
  TBitmap withRings(w, h, 24), linesOnly(w, h, 24);
  DrawMoire(withRings, 4);
  DrawMoire(linesOnly, 0);
  const std::vector<int> rings = ReferenceRings(w, h, 4);
  const int cx = w / 2, r = h / 2;
  int differ = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int ring = rings[static_cast<std::size_t>(y * w + x)];
      const bool inSquare = x >= cx - r && x <= cx + r;
      ASSERT_EQ(ring >= 0, inSquare) << x << "," << y;
      if (inSquare) {
        ASSERT_EQ(withRings.GetPixel(x, y), GetFractalColor(ring)) << x << "," << y;
        differ += !(withRings.GetPixel(x, y) == linesOnly.GetPixel(x, y));
      } else {
        ASSERT_EQ(withRings.GetPixel(x, y), linesOnly.GetPixel(x, y)) << x << "," << y;
      }
    }
  }
  EXPECT_GT(differ, 0);
}

TEST(FractalPainters, MoireLinesAlternateBlackAndWhite) {
  TBitmap b(40, 30, 24);
  DrawMoire(b, 0);
  EXPECT_EQ(b.GetPixel(0, 0), kBlack);   // the line from (0, 0), even
  EXPECT_EQ(b.GetPixel(39, 0), kWhite);  // the line from (39, 0), odd
  EXPECT_EQ(b.GetPixel(0, 29), kWhite);  // the line from (0, 29), odd
}

TEST(FractalPainters, MoireSurvivesOverflowingRingArithmetic) {
  TBitmap b(64, 64, 24);
  DrawMoire(b, 2000000000);
  EXPECT_EQ(CountColor(b, kBlack) + CountColor(b, kWhite), 64 * 64);
}

TEST(FractalPainters, IfsPaintsFromTheSameSeedAreIdentical) {
  for (int table = 0; table < 4; ++table) {
    TBitmap first(120, 90, 24), second(120, 90, 24), other(120, 90, 24);
    DrawIFS(first, table, 30000, 4711);
    DrawIFS(second, table, 30000, 4711);
    DrawIFS(other, table, 30000, 4712);
    EXPECT_TRUE(std::ranges::equal(first.Bits(), second.Bits())) << table;
    EXPECT_FALSE(std::ranges::equal(first.Bits(), other.Bits())) << table;
    EXPECT_GT(CountColor(first, kBlack), 100) << table;
    EXPECT_EQ(CountColor(first, kBlack) + CountColor(first, kWhite), 120 * 90) << table;
  }
}

TEST(FractalPainters, IfsAndSierpinskiWithOnePointLeaveAWhiteBitmap) {
  TBitmap b(50, 40, 24);
  DrawIFS(b, 0, 1, 1);
  EXPECT_EQ(CountColor(b, kWhite), 50 * 40);
  b.MutableBits()[7] = 0;
  DrawSierpinski(b, 0, 1);
  EXPECT_EQ(CountColor(b, kWhite), 50 * 40);
}

TEST(FractalPainters, SierpinskiFollowsTheGeneratorStepByStep) {
  const int w = 101, h = 80;
  TBitmap b(w, h, 24);
  DrawSierpinski(b, 500, 99);
  TFractalRandom random(99);
  std::vector<bool> black(static_cast<std::size_t>(w * h));
  int x = w / 2, y = 0;
  for (int n = 1; n < 500; ++n) {
    const std::uint32_t r = random.Random(4);
    if (r == 1) x = (x + w / 2) / 2, y = y / 2;
    if (r == 2) x = (w + x) / 2, y = (h + y) / 2;
    if (r == 3) x = x / 2, y = (h + y) / 2;
    black[static_cast<std::size_t>(y * w + x)] = true;
  }
  for (int py = 0; py < h; ++py) {
    for (int px = 0; px < w; ++px) {
      ASSERT_EQ(b.GetPixel(px, py), black[static_cast<std::size_t>(py * w + px)] ? kBlack : kWhite);
    }
  }
}

// The fern follows its maps step by step: an upside-down or mirrored painter fails here.
TEST(FractalPainters, IfsFollowsTheGeneratorStepByStep) {
  const int w = 90, h = 110;
  TBitmap b(w, h, 24);
  DrawIFS(b, 0, 3000, 7);
  const TIFSTable& maps = IFSTable[0];
  const std::array<int, 4> thresholds = IFSThresholds(maps);
  TFractalRandom random(7);
  std::vector<bool> black(static_cast<std::size_t>(w * h));
  double x = 0, y = 0;
  auto apply = [&](const TIFSMap& m) {
    const double nx = m.a * x + m.b * y + m.e;
    y = m.c * x + m.d * y + m.f;
    x = nx;
  };
  for (int step = 0; step < 8; ++step) apply(maps[random.Random(4)]);
  for (int n = 1; n < 3000; ++n) {
    const int r = static_cast<int>(random.Random(100));
    std::size_t m = 0;
    while (m < 4 && thresholds[m] <= r) ++m;
    if (m == 4) continue;
    apply(maps[m]);
    // y grows upwards in the fern's plane and downwards in the picture.
    const auto px = static_cast<long>(std::nearbyint(h * x / 11 + w / 2));
    const auto py = static_cast<long>(std::nearbyint(-h * y / 11 + h / 2));
    if (px >= 0 && py >= 0 && px < w && py < h) black[static_cast<std::size_t>(py * w + px)] = true;
  }
  for (int py = 0; py < h; ++py) {
    for (int px = 0; px < w; ++px) {
      ASSERT_EQ(b.GetPixel(px, py), black[static_cast<std::size_t>(py * w + px)] ? kBlack : kWhite)
          << px << "," << py;
    }
  }
}

TEST(FractalPainters, PalettedBitmapTakesTheNearestEntries) {
  TBitmap b(64, 32, 4);
  b.Palette() = {RGB(10, 10, 10), RGB(250, 250, 250), RGB(0, 0, 200), RGB(200, 0, 0)};
  DrawIFS(b, 1, 3000, 3);
  EXPECT_EQ(CountColor(b, RGB(10, 10, 10)) + CountColor(b, RGB(250, 250, 250)), 64 * 32);
  EXPECT_GT(CountColor(b, RGB(10, 10, 10)), 0);
}

TEST(FractalPainters, EightBitBitmapGetsTheNearestEntryOfEveryColour) {
  TFractalProperties p;
  p.Seed = 5;
  for (TFractalTypes t : {ftMandelBrot, ftMoire, ftSierpinski, ftLeaf}) {
    p.ChangeFractalType(t);
    TBitmap truth(90, 50, 24), indexed(90, 50, 8);
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<std::uint8_t>(i);
      indexed.Palette().push_back(RGB(v, static_cast<std::uint8_t>(v * 3), 255 - v));
    }
    // The moiré's lines may miss a pixel: start both from black.
    for (std::uint8_t& b : indexed.MutableBits()) {
      b = static_cast<std::uint8_t>(indexed.NearestPaletteIndex(kBlack));
    }
    DrawFractal(truth, p);
    DrawFractal(indexed, p);
    for (int y = 0; y < 50; ++y) {
      for (int x = 0; x < 90; ++x) {
        ASSERT_EQ(indexed.ConstRowAt(y)[x], indexed.NearestPaletteIndex(truth.GetPixel(x, y)))
            << int{t} << " at " << x << "," << y;
      }
    }
  }
}

TEST(FractalPainters, EmptyBitmapPaintsNothingAndDoesNotFail) {
  TFractalProperties p;
  for (TFractalTypes t : {ftMandelBrot, ftJulian, ftMoire, ftSierpinski, ftFern, ftKoch}) {
    TBitmap b;
    p.ChangeFractalType(t);
    p.Seed = 1;
    EXPECT_NO_THROW(DrawFractal(b, p)) << int{t};
  }
}

}  // namespace
}  // namespace pennacrow
