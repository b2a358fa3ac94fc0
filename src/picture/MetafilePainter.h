#pragma once
// The metafile rasteriser: GDI's pens, brushes and coordinate mapping, and a painter that draws
// lines and filled shapes into a 32-bit picture under a work budget. The WMF and EMF players
// turn their records into calls on it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow::metafile {

inline const char* const kWmf = "WMF";
inline const char* const kEmf = "EMF";
constexpr double kScreenDpi = 96.0;
constexpr int kMaxPenWidth = 32;
// A vector picture is played at the size its header gives, scaled down with its proportions kept
// to at most this many pixels (2048 x 2048), as picture viewers fit a drawing to a window: a
// header costs nothing to write, and a few bytes may claim any size.
constexpr std::uint64_t kMaxPlaybackPixels = std::uint64_t{1} << 22;

// Scales width and height down to kMaxPlaybackPixels, each at least 1; returns the factor.
double FitPlaybackSize(int& width, int& height);

[[noreturn]] void Damaged(const char* format, const std::string& detail);
// A COLORREF: red in the low byte.
TRGBQuad FromColorRef(std::uint32_t ref);

struct TPen {
  bool Null = false;
  TRGBQuad Color;
  double Width = 0;  // logical units; 0 is one pixel
};

struct TBrush {
  bool Null = false;
  TRGBQuad Color = RGB(255, 255, 255);
};

// A GDI object as far as this player cares: fonts, palettes and regions still take a slot.
struct TObject {
  std::optional<TPen> Pen;
  std::optional<TBrush> Brush;
};

struct TPoint {
  double X = 0;
  double Y = 0;
};

// Logical coordinates to pixels of the picture: window origin and extent onto the viewport,
// then the device rectangle that the picture covers onto the picture.
struct TMapping {
  double WinOrgX = 0, WinOrgY = 0, WinExtX = 1, WinExtY = 1;
  double VpOrgX = 0, VpOrgY = 0, VpExtX = 1, VpExtY = 1;
  bool Scaled = false;
  double DevX0 = 0, DevY0 = 0, DevScaleX = 1, DevScaleY = 1;

  TPoint Map(double x, double y) const;
  double PenPixels(double width) const;
  // Keeps wild coordinates of a damaged file inside a range where the drawing code's integer
  // conversions are defined.
  static double Safe(double v);
};

// Draws into a 32-bit picture whose alpha marks the pixels drawn.
class TPainter {
 public:
  // Playback may paint a few times the picture's own pixels (overlapping shapes are normal),
  // never more: a few hundred records filling a large picture again and again would otherwise
  // take minutes. A small picture still gets enough to draw any sensible content. Every record,
  // drawn or not (creating an object is one), costs its part of the same budget, so that a file
  // cannot keep us busy with millions of records that paint nothing.
  static constexpr std::uint64_t kWorkPerPixel = 4;
  static constexpr std::uint64_t kMinWork = std::uint64_t{1} << 20;
  static constexpr std::uint64_t kWorkPerRecord = 16;

  TPainter(TBitmap& image, const char* format);

  // Counts one record against the budget.
  void Record() { Spend(kWorkPerRecord); }

  TMapping Mapping;
  TPen Pen{false, RGB(0, 0, 0), 0};
  TBrush Brush;
  TPoint Current;  // logical

  void Polygon(const std::vector<TPoint>& logical) {
    std::vector<TPoint> points = MapAll(logical);
    if (!Brush.Null) Fill({points});
    if (!points.empty()) points.push_back(points.front());
    Outline(points);
  }
  void PolyPolygon(const std::vector<std::vector<TPoint>>& polygons);
  void Polyline(const std::vector<TPoint>& logical) { Outline(MapAll(logical)); }
  void LineTo(double x, double y) {
    Outline({Mapping.Map(Current.X, Current.Y), Mapping.Map(x, y)});
    Current = {x, y};
  }
  void Rectangle(double left, double top, double right, double bottom) {
    Polygon({{left, top}, {right, top}, {right, bottom}, {left, bottom}});
  }
  void Ellipse(double left, double top, double right, double bottom);

 private:
  std::vector<TPoint> MapAll(const std::vector<TPoint>& logical) const {
    std::vector<TPoint> out;
    out.reserve(logical.size());
    for (const TPoint& p : logical) out.push_back(Mapping.Map(p.X, p.Y));
    return out;
  }

  // Counts work towards the budget: every pixel painted and every polygon edge scanned.
  void Spend(std::uint64_t work) {
    FWork += work;
    if (FWork > FBudget) throw PlaybackBudgetError(FFormat, FBudget);
  }

  void Plot(int x, int y, TRGBQuad c) {
    Spend(1);
    if (x < 0 || y < 0 || x >= FImage.Width() || y >= FImage.Height()) return;
    c.Reserved = 255;
    FImage.SetPixel(x, y, c);
  }

  // Even-odd fill of one or more closed polygons in pixel coordinates, sampled at pixel
  // centres.
  void Fill(const std::vector<std::vector<TPoint>>& polygons);

  void Outline(const std::vector<TPoint>& points);

  // A line stamped with a square pen, clipped first so that a far-away line costs nothing.
  void Line(TPoint a, TPoint b, int width);

  TBitmap& FImage;
  const char* FFormat;
  std::uint64_t FBudget;
  std::uint64_t FWork = 0;
};

// Each plays a whole file into image, allocated at the picture's size.
void PlayWmf(std::span<const std::uint8_t> data, const TPixelLimits& limits, TBitmap& image);
void PlayEmf(std::span<const std::uint8_t> data, const TPixelLimits& limits, TBitmap& image);

}  // namespace pennacrow::metafile
