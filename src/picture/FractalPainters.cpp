#include "picture/FractalPainters.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "picture/FractalRandom.h"

namespace pennacrow {

const std::array<TRGBQuad, 16> FractalPalette{{
    RGB(0, 0, 0),
    RGB(0, 0, 128),
    RGB(0, 128, 0),
    RGB(0, 255, 255),
    RGB(255, 0, 0),
    RGB(128, 0, 128),
    RGB(128, 0, 0),
    RGB(192, 192, 192),
    RGB(128, 128, 128),
    RGB(0, 0, 255),
    RGB(0, 255, 0),
    RGB(128, 128, 0),
    RGB(255, 0, 255),
    RGB(0, 128, 128),
    RGB(255, 255, 0),
    RGB(255, 255, 255),
}};

TRGBQuad GetFractalColor(int index) {
  if (index < 0 || index > 15) return RGB(255, 255, 255);
  return FractalPalette[static_cast<std::size_t>(index)];
}

const std::array<TIFSTable, 4> IFSTable{{
    {{{0.03, 0.31, 0.35, -0.05, 0.5, -0.92, 0.13},
      {-0.02, 0, -0.27, 0.33, -0.12, -1.28, 0.01},
      {0.8, 0.02, -0.04, 0.8, -0.02, 0.87, 0.74},
      {-0.03, -0.3, 0.35, -0.04, -0.68, -0.94, 0.12}}},
    {{{0.14, 0.01, 0, 0.51, -0.08, -1.31, 0.06},
      {0.43, 0.52, -0.45, 0.5, 1.49, -0.75, 0.37},
      {0.45, -0.49, 0.47, 0.47, -1.62, -0.74, 0.36},
      {0.49, 0, 0, 0.51, 0.02, 1.62, 0.21}}},
    {{{0.04, 0.22, 0.31, -0.03, 0.63, -1.74, 0.13},
      {-0.02, 0, -0.32, 0.26, -0.17, -1.35, 0.01},
      {0.79, 0.06, -0.03, 0.73, -0.02, 1.03, 0.74},
      {-0.03, -0.3, 0.35, -0.04, -0.68, -0.94, 0.12}}},
    // The Koch probabilities add up to 0.99: a draw of 99 matches no map (see DrawIFS).
    {{{0.34, 0, 0, 0.34, 2.14, 0.02, 0.25},
      {0.17, 0.29, -0.29, 0.17, 0.55, 0.94, 0.25},
      {0.16, -0.29, 0.29, 0.16, -0.54, 0.95, 0.24},
      {0.34, 0, 0, 0.34, -2.15, 0.01, 0.25}}},
}};

std::array<int, 4> IFSThresholds(const TIFSTable& table) {
  std::array<int, 4> thresholds{};
  int sum = 0;
  for (std::size_t m = 0; m < table.size(); ++m) {
    sum += static_cast<int>(std::nearbyint(100 * table[m].p));
    thresholds[m] = sum;
  }
  return thresholds;
}

namespace {

const TRGBQuad kBlack = RGB(0, 0, 0);
const TRGBQuad kWhite = RGB(255, 255, 255);

// Single-pixel writes as TBitmap::SetPixel makes them, except that an 8-bit bitmap looks up the
// nearest palette entry once per colour instead of once per pixel: the painters use at most 17
// colours, and a 256-entry search for each of a few hundred thousand pixels is what made an
// escape-time paint over an 8-bit picture slow.
class TPixelWriter {
 public:
  explicit TPixelWriter(TBitmap& bitmap) : FBitmap(bitmap), FIndexed8(bitmap.BitsPerPixel() == 8) {}

  void Set(int x, int y, TRGBQuad color) {
    if (!FIndexed8) {
      FBitmap.SetPixel(x, y, color);
      return;
    }
    if (x < 0 || y < 0 || x >= FBitmap.Width() || y >= FBitmap.Height()) return;
    FBitmap.RowAt(y)[x] = IndexOf(color);
  }

 private:
  std::uint8_t IndexOf(TRGBQuad color) {
    for (std::size_t i = 0; i < FCacheSize; ++i) {
      if (FCache[i].first == color) return FCache[i].second;
    }
    const auto index = static_cast<std::uint8_t>(FBitmap.NearestPaletteIndex(color));
    if (FCacheSize < FCache.size()) FCache[FCacheSize++] = {color, index};
    return index;
  }

  TBitmap& FBitmap;
  bool FIndexed8;
  std::array<std::pair<TRGBQuad, std::uint8_t>, 20> FCache{};
  std::size_t FCacheSize = 0;
};

// Fills the whole bitmap with white as single-pixel writes would (nearest entry for a paletted
// bitmap), writing the top row pixel by pixel and copying it to the others.
void FillWhite(TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  for (int x = 0; x < bitmap.Width(); ++x) bitmap.SetPixel(x, 0, kWhite);
  const std::uint8_t* top = bitmap.RowAt(0);
  for (int y = 1; y < bitmap.Height(); ++y) std::memcpy(bitmap.RowAt(y), top, bitmap.RowLength());
}

// A one-pixel line from (x0, y0) toward (x1, y1), the end point itself not drawn (Bresenham).
void LineTo(TPixelWriter& bitmap, int x0, int y0, int x1, int y1, TRGBQuad color) {
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  while (x0 != x1 || y0 != y1) {
    bitmap.Set(x0, y0, color);
    const int e2 = 2 * error;
    if (e2 >= dy) {
      error += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      error += dx;
      y0 += sy;
    }
  }
}

// Round to nearest, halves to even, into a pixel coordinate; values no bitmap can hold (and
// NaN) give a coordinate outside every bitmap, so the pixel is dropped.
int PixelCoordinate(double v) {
  if (!(std::fabs(v) < 1e9)) return -1;
  return static_cast<int>(std::nearbyint(v));
}

}  // namespace

void DrawEscapeTime(TBitmap& bitmap, const TFractalProperties& properties, TEscapeTimeMode mode) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  if (width <= 0 || height <= 0) return;
  const std::int32_t n = properties.NumberOfIterations;
  const double dx = (properties.X1 - properties.X0) / width;
  const double dy = (properties.Y1 - properties.Y0) / height;
  // The escape step m is scaled by N / 16, rounded half to even: with N = 16 the index is m
  // itself; with N of 32 or more it can reach 16, which is white.
  const double scale = n / 16.0;
  const bool julia = mode == TEscapeTimeMode::Julia;
  TPixelWriter pixels(bitmap);
  for (int y = 0; y < height; ++y) {
    const double pi = properties.Y0 + y * dy;
    for (int x = 0; x < width; ++x) {
      const double pr = properties.X0 + x * dx;
      double re = julia ? pr : 0.0;
      double im = julia ? pi : 0.0;
      const double cr = julia ? 0.0 : pr;
      const double ci = julia ? 1.0 : pi;
      int index = 0;
      // An escape at step N or later colours like no escape at all, so steps 0 .. N - 1 are
      // all that need testing.
      for (std::int32_t k = 0; k < n; ++k) {
        const double re2 = re * re;
        const double im2 = im * im;
        if (re2 + im2 >= 4.0) {
          index = static_cast<int>(std::nearbyint(k / scale));
          break;
        }
        im = 2.0 * re * im + ci;
        re = re2 - im2 + cr;
      }
      pixels.Set(x, y, GetFractalColor(index));
    }
  }
}

void DrawMoire(TBitmap& bitmap, std::int32_t passes) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  TPixelWriter pixels(bitmap);
  for (int x = 0; x < width; ++x) {
    LineTo(pixels, x, 0, width - 1 - x, height, GetFractalColor((x % 2) * 15));
  }
  for (int y = 0; y < height; ++y) {
    LineTo(pixels, 0, y, width, height - 1 - y, GetFractalColor((y % 2) * 15));
  }
  if (passes < 1) return;
  // Every pass writes the same pixels of the ring square, so the picture is the last pass's:
  // the earlier passes are not worth painting.
  const std::uint32_t k = static_cast<std::uint32_t>(passes);
  const int cx = width / 2;
  const int cy = height / 2;
  const int r = cy;
  for (int i = 0; i <= r; ++i) {
    for (int j = i; j <= r; ++j) {
      // 32-bit signed arithmetic that wraps on overflow, as the ring formula always had; a
      // wrapped negative sum gives an index of -15, which is white.
      const std::uint32_t a = k * static_cast<std::uint32_t>(i + 1);
      const std::uint32_t b = k * static_cast<std::uint32_t>(j + 1);
      const std::int32_t sum = static_cast<std::int32_t>(a * a + b * b);
      const std::int32_t v = sum / 1024;
      const TRGBQuad color = GetFractalColor((v % 2) * 15);
      pixels.Set(cx + i, cy + j, color);
      pixels.Set(cx + j, cy + i, color);
      pixels.Set(cx + j, cy - i, color);
      pixels.Set(cx + i, cy - j, color);
      pixels.Set(cx - i, cy - j, color);
      pixels.Set(cx - j, cy - i, color);
      pixels.Set(cx - j, cy + i, color);
      pixels.Set(cx - i, cy + j, color);
    }
  }
}

void DrawSierpinski(TBitmap& bitmap, std::int32_t points, std::uint32_t seed) {
  TFractalRandom random(seed);
  FillWhite(bitmap);
  TPixelWriter pixels(bitmap);
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  int x = width / 2;
  int y = 0;
  for (std::int32_t n = 1; n < points; ++n) {
    switch (random.Random(4)) {
      case 1:  // toward the top corner
        x = (x + width / 2) / 2;
        y = y / 2;
        break;
      case 2:  // toward the bottom-right corner
        x = (width + x) / 2;
        y = (height + y) / 2;
        break;
      case 3:  // toward the bottom-left corner
        x = x / 2;
        y = (height + y) / 2;
        break;
      default:  // the point stays
        break;
    }
    pixels.Set(x, y, kBlack);
  }
}

void DrawIFS(TBitmap& bitmap, int table, std::int32_t points, std::uint32_t seed) {
  const TIFSTable& maps = IFSTable.at(static_cast<std::size_t>(table));
  TFractalRandom random(seed);
  FillWhite(bitmap);
  TPixelWriter pixels(bitmap);
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  double x = 0;
  double y = 0;
  const auto apply = [&](const TIFSMap& map) {
    const double nx = map.a * x + map.b * y + map.e;
    y = map.c * x + map.d * y + map.f;
    x = nx;
  };
  const std::array<int, 4> thresholds = IFSThresholds(maps);
  // Warm-up steps bring the point onto the attractor before anything is plotted.
  for (int step = 0; step < 8; ++step) apply(maps[random.Random(4)]);
  for (std::int32_t n = 1; n < points; ++n) {
    const int r = static_cast<int>(random.Random(100));
    std::size_t m = 0;
    while (m < thresholds.size() && thresholds[m] <= r) ++m;
    // Only the Koch table leaves a draw unmatched (99, its thresholds end there): the step is
    // skipped, the point neither moves nor is plotted again.
    if (m == thresholds.size()) continue;
    apply(maps[m]);
    // Both axes use the height: one unit is H / 11 pixels, the origin is the centre, y points up.
    const int px = PixelCoordinate(height * x / 11 + width / 2);
    const int py = PixelCoordinate(-height * y / 11 + height / 2);
    pixels.Set(px, py, kBlack);
  }
}

void DrawFractal(TBitmap& bitmap, const TFractalProperties& properties) {
  const auto seed = [&] { return properties.Seed ? *properties.Seed : TimeOfDaySeed(); };
  const std::int32_t n = properties.NumberOfIterations;
  switch (properties.FractalType()) {
    case ftMandelBrot:
      DrawEscapeTime(bitmap, properties, TEscapeTimeMode::Mandelbrot);
      break;
    case ftJulian:
      DrawEscapeTime(bitmap, properties, TEscapeTimeMode::Julia);
      break;
    case ftMoire:
      DrawMoire(bitmap, n);
      break;
    case ftSierpinski:
      DrawSierpinski(bitmap, n, seed());
      break;
    case ftFern:
    case ftLeaf:
    case ftCurl:
    case ftKoch:
      DrawIFS(bitmap, properties.FractalType() - ftFern, n, seed());
      break;
  }
}

}  // namespace pennacrow
