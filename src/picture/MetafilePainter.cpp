#include "picture/MetafilePainter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "picture/Errors.h"

namespace pennacrow::metafile {

void Damaged(const char* format, const std::string& detail) {
  throw DamagedError(format, detail);
}

TRGBQuad FromColorRef(std::uint32_t ref) {
  return RGB(static_cast<std::uint8_t>(ref), static_cast<std::uint8_t>(ref >> 8),
             static_cast<std::uint8_t>(ref >> 16));
}

double FitPlaybackSize(int& width, int& height) {
  const double pixels = static_cast<double>(width) * height;
  if (width <= 0 || height <= 0 || pixels <= static_cast<double>(kMaxPlaybackPixels)) return 1;
  const double factor = std::sqrt(static_cast<double>(kMaxPlaybackPixels) / pixels);
  width = std::max(1, static_cast<int>(width * factor));
  height = std::max(1, static_cast<int>(height * factor));
  return factor;
}

TPoint TMapping::Map(double x, double y) const {
  double dx = x - WinOrgX;
  double dy = y - WinOrgY;
  if (Scaled) {
    dx = dx * VpExtX / (WinExtX == 0 ? 1 : WinExtX);
    dy = dy * VpExtY / (WinExtY == 0 ? 1 : WinExtY);
  }
  return {Safe((dx + VpOrgX - DevX0) * DevScaleX), Safe((dy + VpOrgY - DevY0) * DevScaleY)};
}
double TMapping::PenPixels(double width) const {
  double scale = DevScaleX;
  if (Scaled) scale *= VpExtX / (WinExtX == 0 ? 1 : WinExtX);
  const double pixels = std::fabs(width * scale);
  if (!std::isfinite(pixels) || pixels < 1) return 1;
  return std::min<double>(std::round(pixels), kMaxPenWidth);
}
double TMapping::Safe(double v) {
  if (!std::isfinite(v)) return 0;
  return std::clamp(v, -1e7, 1e7);
}

TPainter::TPainter(TBitmap& image, const char* format)
    : FImage(image),
      FFormat(format),
      FBudget(std::max(kMinWork, kWorkPerPixel * static_cast<std::uint64_t>(image.Width()) *
                                     static_cast<std::uint64_t>(image.Height()))) {}

void TPainter::Ellipse(double left, double top, double right, double bottom) {
  const TPoint a = Mapping.Map(left, top);
  const TPoint b = Mapping.Map(right, bottom);
  const double rx = std::fabs(b.X - a.X) / 2;
  const double ry = std::fabs(b.Y - a.Y) / 2;
  const double cx = (a.X + b.X) / 2;
  const double cy = (a.Y + b.Y) / 2;
  const int steps = static_cast<int>(std::clamp((rx + ry) * 2, 16.0, 512.0));
  std::vector<TPoint> points;
  for (int i = 0; i < steps; ++i) {
    const double t = 2 * std::numbers::pi * i / steps;
    points.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
  }
  if (!Brush.Null) Fill({points});
  points.push_back(points.front());
  Outline(points);
}

void TPainter::Fill(const std::vector<std::vector<TPoint>>& polygons) {
  double minY = 1e300, maxY = -1e300;
  for (const auto& p : polygons) {
    for (const TPoint& q : p) {
      minY = std::min(minY, q.Y);
      maxY = std::max(maxY, q.Y);
    }
  }
  if (minY > maxY) return;
  const int y0 = std::max(0, static_cast<int>(std::floor(minY)));
  const int y1 = std::min(FImage.Height() - 1, static_cast<int>(std::ceil(maxY)));
  std::vector<double> crossings;
  for (int y = y0; y <= y1; ++y) {
    const double sy = y + 0.5;
    crossings.clear();
    for (const auto& p : polygons) {
      Spend(p.size());
      for (std::size_t i = 0; i < p.size(); ++i) {
        const TPoint& a = p[i];
        const TPoint& b = p[(i + 1) % p.size()];
        if ((a.Y <= sy) == (b.Y <= sy)) continue;
        crossings.push_back(a.X + (sy - a.Y) * (b.X - a.X) / (b.Y - a.Y));
      }
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
      const int xa = std::max(0, static_cast<int>(std::ceil(crossings[i] - 0.5)));
      const int xb =
          std::min(FImage.Width() - 1, static_cast<int>(std::ceil(crossings[i + 1] - 0.5)) - 1);
      for (int x = xa; x <= xb; ++x) Plot(x, y, Brush.Color);
    }
  }
}

void TPainter::Outline(const std::vector<TPoint>& points) {
  if (Pen.Null) return;
  const int width = static_cast<int>(Mapping.PenPixels(Pen.Width));
  for (std::size_t i = 0; i + 1 < points.size(); ++i) Line(points[i], points[i + 1], width);
}

void TPainter::Line(TPoint a, TPoint b, int width) {
  const double margin = width;
  const double xmin = -margin, ymin = -margin;
  const double xmax = FImage.Width() + margin, ymax = FImage.Height() + margin;
  double t0 = 0, t1 = 1;
  const double dx = b.X - a.X, dy = b.Y - a.Y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.X - xmin, xmax - a.X, a.Y - ymin, ymax - a.Y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return;
  }
  const TPoint s{a.X + t0 * dx, a.Y + t0 * dy};
  const TPoint e{a.X + t1 * dx, a.Y + t1 * dy};
  const int steps =
      static_cast<int>(std::ceil(std::max(std::fabs(e.X - s.X), std::fabs(e.Y - s.Y))));
  const int half = (width - 1) / 2;
  for (int i = 0; i <= steps; ++i) {
    const double t = steps == 0 ? 0 : double(i) / steps;
    const int x = static_cast<int>(std::floor(s.X + t * (e.X - s.X)));
    const int y = static_cast<int>(std::floor(s.Y + t * (e.Y - s.Y)));
    for (int oy = 0; oy < width; ++oy) {
      for (int ox = 0; ox < width; ++ox) Plot(x - half + ox, y - half + oy, Pen.Color);
    }
  }
}

void TPainter::PolyPolygon(const std::vector<std::vector<TPoint>>& polygons) {
  std::vector<std::vector<TPoint>> mapped;
  for (const auto& p : polygons) mapped.push_back(MapAll(p));
  if (!Brush.Null) Fill(mapped);
  for (auto& p : mapped) {
    if (!p.empty()) p.push_back(p.front());
    Outline(p);
  }
}

}  // namespace pennacrow::metafile
