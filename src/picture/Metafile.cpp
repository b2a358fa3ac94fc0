#include "picture/Metafile.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <optional>
#include <vector>

#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TMetafile::ClassInfo{"TMetafile", &TGraphic::ClassInfo,
                                         [] { return std::unique_ptr<TGraphic>(new TMetafile); }};

namespace {

const char* const kWmf = "WMF";
const char* const kEmf = "EMF";
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr double kScreenDpi = 96.0;
constexpr int kMaxPenWidth = 32;

[[noreturn]] void Damaged(const char* format, const std::string& detail) {
  throw DamagedError(format, detail);
}

TRGBQuad FromColorRef(std::uint32_t ref) {
  return RGB(static_cast<std::uint8_t>(ref), static_cast<std::uint8_t>(ref >> 8),
             static_cast<std::uint8_t>(ref >> 16));
}

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

  TPoint Map(double x, double y) const {
    double dx = x - WinOrgX;
    double dy = y - WinOrgY;
    if (Scaled) {
      dx = dx * VpExtX / (WinExtX == 0 ? 1 : WinExtX);
      dy = dy * VpExtY / (WinExtY == 0 ? 1 : WinExtY);
    }
    return {Safe((dx + VpOrgX - DevX0) * DevScaleX), Safe((dy + VpOrgY - DevY0) * DevScaleY)};
  }
  double PenPixels(double width) const {
    double scale = DevScaleX;
    if (Scaled) scale *= VpExtX / (WinExtX == 0 ? 1 : WinExtX);
    const double pixels = std::fabs(width * scale);
    if (!std::isfinite(pixels) || pixels < 1) return 1;
    return std::min<double>(std::round(pixels), kMaxPenWidth);
  }
  // Keeps wild coordinates of a damaged file inside a range where the drawing code's integer
  // conversions are defined.
  static double Safe(double v) {
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, -1e7, 1e7);
  }
};

// Draws into a 32-bit picture whose alpha marks the pixels drawn.
class TPainter {
 public:
  // Playback may paint a few times the picture's own pixels (overlapping shapes are normal),
  // never more: a few hundred records filling a large picture again and again would otherwise
  // take minutes. A small picture still gets enough to draw any sensible content.
  static constexpr std::uint64_t kWorkPerPixel = 4;
  static constexpr std::uint64_t kMinWork = std::uint64_t{1} << 20;

  TPainter(TBitmap& image, const char* format)
      : FImage(image),
        FFormat(format),
        FBudget(std::max(kMinWork, kWorkPerPixel * static_cast<std::uint64_t>(image.Width()) *
                                       static_cast<std::uint64_t>(image.Height()))) {}

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
  void PolyPolygon(const std::vector<std::vector<TPoint>>& polygons) {
    std::vector<std::vector<TPoint>> mapped;
    for (const auto& p : polygons) mapped.push_back(MapAll(p));
    if (!Brush.Null) Fill(mapped);
    for (auto& p : mapped) {
      if (!p.empty()) p.push_back(p.front());
      Outline(p);
    }
  }
  void Polyline(const std::vector<TPoint>& logical) { Outline(MapAll(logical)); }
  void LineTo(double x, double y) {
    Outline({Mapping.Map(Current.X, Current.Y), Mapping.Map(x, y)});
    Current = {x, y};
  }
  void Rectangle(double left, double top, double right, double bottom) {
    Polygon({{left, top}, {right, top}, {right, bottom}, {left, bottom}});
  }
  void Ellipse(double left, double top, double right, double bottom) {
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
    if (FWork > FBudget) throw PlaybackBudgetError(FFormat);
  }

  void Plot(int x, int y, TRGBQuad c) {
    Spend(1);
    if (x < 0 || y < 0 || x >= FImage.Width() || y >= FImage.Height()) return;
    c.Reserved = 255;
    FImage.SetPixel(x, y, c);
  }

  // Even-odd fill of one or more closed polygons in pixel coordinates, sampled at pixel
  // centres.
  void Fill(const std::vector<std::vector<TPoint>>& polygons) {
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

  void Outline(const std::vector<TPoint>& points) {
    if (Pen.Null) return;
    const int width = static_cast<int>(Mapping.PenPixels(Pen.Width));
    for (std::size_t i = 0; i + 1 < points.size(); ++i) Line(points[i], points[i + 1], width);
  }

  // A line stamped with a square pen, clipped first so that a far-away line costs nothing.
  void Line(TPoint a, TPoint b, int width) {
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

  TBitmap& FImage;
  const char* FFormat;
  std::uint64_t FBudget;
  std::uint64_t FWork = 0;
};

// ---- Windows metafiles (16-bit records) ----

constexpr std::size_t kWmfHeaderSize = 18;
constexpr std::size_t kPlaceableSize = 22;

std::vector<TPoint> WmfPoints(TByteReader& in, std::uint64_t count) {
  if (count * 4 > in.Remaining()) Damaged(kWmf, "点数超出记录");
  std::vector<TPoint> points;
  for (std::uint64_t i = 0; i < count; ++i) {
    const double x = in.S16LE();
    const double y = in.S16LE();
    points.push_back({x, y});
  }
  return points;
}

void PlayWmf(std::span<const std::uint8_t> data, TBitmap& image) {
  TByteReader in(data, kWmf);
  bool placeable = false;
  double left = 0, top = 0, right = 0, bottom = 0, unitsPerInch = 0;
  if (data.size() >= 4 && in.U32LE() == kPlaceableKey) {
    placeable = true;
    in.Skip(2);
    left = in.S16LE();
    top = in.S16LE();
    right = in.S16LE();
    bottom = in.S16LE();
    unitsPerInch = in.U16LE();
    in.Seek(kPlaceableSize);
  } else {
    in.Seek(0);
  }
  const std::size_t start = in.Position();
  if (in.Remaining() < kWmfHeaderSize) throw InvalidFormatError(kWmf);
  const std::uint16_t type = in.U16LE();
  const std::uint16_t headerWords = in.U16LE();
  const std::uint16_t version = in.U16LE();
  in.Skip(4 + 2 + 4 + 2);
  if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0300 && version != 0x0100)) {
    throw InvalidFormatError(kWmf);
  }
  in.Seek(start + 6 + 4);
  const std::uint16_t objectCount = in.U16LE();
  in.Seek(start + kWmfHeaderSize);

  // The records, each checked against the file once, before anything is drawn.
  struct TRecord {
    std::uint16_t Function;
    std::span<const std::uint8_t> Params;
  };
  std::vector<TRecord> records;
  while (in.Remaining() > 0) {
    const std::uint32_t words = in.U32LE();
    const std::uint16_t function = in.U16LE();
    if (words < 3) Damaged(kWmf, "记录长度 " + std::to_string(words));
    const auto params = in.Bytes((std::uint64_t{words} - 3) * 2);
    if (function == 0) break;
    records.push_back({function, params});
  }

  TMapping mapping;
  mapping.Scaled = true;
  int width = 0, height = 0;
  if (placeable) {
    if (unitsPerInch == 0) throw InvalidFormatError(kWmf);
    width = static_cast<int>(std::lround(std::fabs(right - left) * kScreenDpi / unitsPerInch));
    height = static_cast<int>(std::lround(std::fabs(bottom - top) * kScreenDpi / unitsPerInch));
    mapping.WinOrgX = std::min(left, right);
    mapping.WinOrgY = std::min(top, bottom);
    mapping.WinExtX = std::fabs(right - left);
    mapping.WinExtY = std::fabs(bottom - top);
  } else {
    // Without the placeable header only the window extent tells the picture's size.
    for (const TRecord& r : records) {
      if (r.Function == 0x020C && r.Params.size() >= 4) {
        TByteReader p(r.Params, kWmf);
        height = std::abs(int{p.S16LE()});
        width = std::abs(int{p.S16LE()});
        break;
      }
    }
  }
  if (width <= 0 || height <= 0) throw InvalidFormatError(kWmf);
  CheckPictureSize(kWmf, width, height, 32);
  image.Allocate(width, height, 32);
  mapping.VpExtX = width;
  mapping.VpExtY = height;

  TPainter painter(image, kWmf);
  painter.Mapping = mapping;
  std::vector<std::optional<TObject>> objects(objectCount);
  auto create = [&](TObject object) {
    for (auto& slot : objects) {
      if (!slot) {
        slot = object;
        return;
      }
    }
  };
  for (const TRecord& r : records) {
    TByteReader p(r.Params, kWmf);
    try {
      switch (r.Function) {
        case 0x020B: {  // SETWINDOWORG: y, x
          painter.Mapping.WinOrgY = p.S16LE();
          painter.Mapping.WinOrgX = p.S16LE();
          break;
        }
        case 0x020C: {  // SETWINDOWEXT: y, x
          painter.Mapping.WinExtY = p.S16LE();
          painter.Mapping.WinExtX = p.S16LE();
          break;
        }
        case 0x02FA: {  // CREATEPENINDIRECT: style, width (x, y), colour
          const std::uint16_t style = p.U16LE();
          const double w = p.S16LE();
          p.Skip(2);
          create({TPen{(style & 0x0F) == 5, FromColorRef(p.U32LE()), w}, std::nullopt});
          break;
        }
        case 0x02FC: {  // CREATEBRUSHINDIRECT: style, colour, hatch
          const std::uint16_t style = p.U16LE();
          create({std::nullopt, TBrush{style == 1, FromColorRef(p.U32LE())}});
          break;
        }
        case 0x02FB:
        case 0x00F7:
        case 0x06FF:
        case 0x0142:
        case 0x01F9:
          create({});  // font, palette, region, pattern brushes: drawn as nothing
          break;
        case 0x012D: {  // SELECTOBJECT
          const std::uint16_t index = p.U16LE();
          if (index < objects.size() && objects[index]) {
            if (objects[index]->Pen) painter.Pen = *objects[index]->Pen;
            if (objects[index]->Brush) painter.Brush = *objects[index]->Brush;
          }
          break;
        }
        case 0x01F0: {  // DELETEOBJECT
          const std::uint16_t index = p.U16LE();
          if (index < objects.size()) objects[index].reset();
          break;
        }
        case 0x0214: {  // MOVETO: y, x
          const double y = p.S16LE();
          painter.Current = {static_cast<double>(p.S16LE()), y};
          break;
        }
        case 0x0213: {  // LINETO: y, x
          const double y = p.S16LE();
          painter.LineTo(p.S16LE(), y);
          break;
        }
        case 0x041B:    // RECTANGLE: bottom, right, top, left
        case 0x0418:    // ELLIPSE
        case 0x061C: {  // ROUNDRECT: corner height and width first, drawn square-cornered
          if (r.Function == 0x061C) p.Skip(4);
          const double b = p.S16LE(), rt = p.S16LE(), t = p.S16LE(), l = p.S16LE();
          if (r.Function == 0x0418)
            painter.Ellipse(l, t, rt, b);
          else
            painter.Rectangle(l, t, rt, b);
          break;
        }
        case 0x0324:    // POLYGON
        case 0x0325: {  // POLYLINE
          const std::uint16_t count = p.U16LE();
          const auto points = WmfPoints(p, count);
          if (r.Function == 0x0324)
            painter.Polygon(points);
          else
            painter.Polyline(points);
          break;
        }
        case 0x0538: {  // POLYPOLYGON: polygon count, point counts, points
          const std::uint16_t polygons = p.U16LE();
          if (std::uint64_t{polygons} * 2 > p.Remaining()) Damaged(kWmf, "多边形数超出记录");
          std::vector<std::uint16_t> counts;
          for (std::uint16_t i = 0; i < polygons; ++i) counts.push_back(p.U16LE());
          std::vector<std::vector<TPoint>> all;
          for (std::uint16_t c : counts) all.push_back(WmfPoints(p, c));
          painter.PolyPolygon(all);
          break;
        }
        default:
          break;  // text, bitmaps, clipping and the rest are not played
      }
    } catch (const EInvalidGraphicFormat& e) {
      // A record shorter than its parameters is damage inside a record the header vouched for.
      if (e.Kind() != TGraphicFault::Truncated) throw;
      Damaged(kWmf, "记录 " + std::to_string(r.Function) + " 的参数不足");
    }
  }
}

// ---- Enhanced metafiles (32-bit records) ----

constexpr std::size_t kEmfHeaderMin = 88;

std::vector<TPoint> EmfPoints(TByteReader& in, std::uint64_t count, bool shortPoints) {
  if (count * (shortPoints ? 4 : 8) > in.Remaining()) Damaged(kEmf, "点数超出记录");
  std::vector<TPoint> points;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (shortPoints) {
      const double x = in.S16LE();
      points.push_back({x, static_cast<double>(in.S16LE())});
    } else {
      const double x = in.S32LE();
      points.push_back({x, static_cast<double>(in.S32LE())});
    }
  }
  return points;
}

std::optional<TObject> StockObject(std::uint32_t index) {
  switch (index & 0x7FFFFFFF) {
    case 0:
      return TObject{std::nullopt, TBrush{false, RGB(255, 255, 255)}};
    case 1:
      return TObject{std::nullopt, TBrush{false, RGB(192, 192, 192)}};
    case 2:
      return TObject{std::nullopt, TBrush{false, RGB(128, 128, 128)}};
    case 3:
      return TObject{std::nullopt, TBrush{false, RGB(64, 64, 64)}};
    case 4:
      return TObject{std::nullopt, TBrush{false, RGB(0, 0, 0)}};
    case 5:
      return TObject{std::nullopt, TBrush{true, {}}};
    case 6:
      return TObject{TPen{false, RGB(255, 255, 255), 0}, std::nullopt};
    case 7:
      return TObject{TPen{false, RGB(0, 0, 0), 0}, std::nullopt};
    case 8:
      return TObject{TPen{true, {}, 0}, std::nullopt};
    default:
      return std::nullopt;
  }
}

void PlayEmf(std::span<const std::uint8_t> data, TBitmap& image) {
  TByteReader in(data, kEmf);
  if (data.size() < kEmfHeaderMin) throw InvalidFormatError(kEmf);
  const std::uint32_t type = in.U32LE();
  const std::uint32_t headerSize = in.U32LE();
  const double boundsL = in.S32LE(), boundsT = in.S32LE(), boundsR = in.S32LE(),
               boundsB = in.S32LE();
  const double frameL = in.S32LE(), frameT = in.S32LE(), frameR = in.S32LE(), frameB = in.S32LE();
  const std::uint32_t signature = in.U32LE();
  if (type != 1 || signature != kEmfSignature || headerSize < kEmfHeaderMin ||
      headerSize % 4 != 0) {
    throw InvalidFormatError(kEmf);
  }
  in.Seek(72);
  const double deviceX = in.S32LE(), deviceY = in.S32LE();
  const double mmX = in.S32LE(), mmY = in.S32LE();

  // The frame (hundredths of a millimetre) gives the picture's size at screen resolution.
  int width =
      static_cast<int>(std::lround(std::clamp((frameR - frameL) * kScreenDpi / 2540, -1e9, 1e9)));
  int height =
      static_cast<int>(std::lround(std::clamp((frameB - frameT) * kScreenDpi / 2540, -1e9, 1e9)));
  TMapping mapping;
  if (width > 0 && height > 0 && deviceX > 0 && deviceY > 0 && mmX > 0 && mmY > 0) {
    // Logical units are the reference device's pixels; the frame in those pixels maps onto the
    // picture.
    const double pxPerUnitX = deviceX / (mmX * 100);
    const double pxPerUnitY = deviceY / (mmY * 100);
    mapping.DevX0 = frameL * pxPerUnitX;
    mapping.DevY0 = frameT * pxPerUnitY;
    mapping.DevScaleX = width / ((frameR - frameL) * pxPerUnitX);
    mapping.DevScaleY = height / ((frameB - frameT) * pxPerUnitY);
  } else {
    width = static_cast<int>(std::clamp(boundsR - boundsL + 1, -1.0, 1e9));
    height = static_cast<int>(std::clamp(boundsB - boundsT + 1, -1.0, 1e9));
    mapping.DevX0 = boundsL;
    mapping.DevY0 = boundsT;
  }
  if (width <= 0 || height <= 0) throw InvalidFormatError(kEmf);
  CheckPictureSize(kEmf, width, height, 32);

  struct TRecord {
    std::uint32_t Type;
    std::span<const std::uint8_t> Params;
  };
  std::vector<TRecord> records;
  in.Seek(headerSize);
  while (in.Remaining() > 0) {
    const std::uint32_t recordType = in.U32LE();
    const std::uint32_t size = in.U32LE();
    if (size < 8 || size % 4 != 0) Damaged(kEmf, "记录长度 " + std::to_string(size));
    const auto params = in.Bytes(std::uint64_t{size} - 8);
    if (recordType == 14) break;  // EOF
    records.push_back({recordType, params});
  }

  image.Allocate(width, height, 32);
  TPainter painter(image, kEmf);
  painter.Mapping = mapping;
  bool scaledMode = false;
  bool winExt = false, vpExt = false;
  std::map<std::uint32_t, TObject> objects;
  for (const TRecord& r : records) {
    TByteReader p(r.Params, kEmf);
    try {
      switch (r.Type) {
        case 9:  // SETWINDOWEXTEX
          painter.Mapping.WinExtX = p.S32LE();
          painter.Mapping.WinExtY = p.S32LE();
          winExt = true;
          break;
        case 10:  // SETWINDOWORGEX
          painter.Mapping.WinOrgX = p.S32LE();
          painter.Mapping.WinOrgY = p.S32LE();
          break;
        case 11:  // SETVIEWPORTEXTEX
          painter.Mapping.VpExtX = p.S32LE();
          painter.Mapping.VpExtY = p.S32LE();
          vpExt = true;
          break;
        case 12:  // SETVIEWPORTORGEX
          painter.Mapping.VpOrgX = p.S32LE();
          painter.Mapping.VpOrgY = p.S32LE();
          break;
        case 17: {  // SETMAPMODE: isotropic and anisotropic use the extents
          const std::uint32_t mode = p.U32LE();
          scaledMode = mode == 7 || mode == 8;
          break;
        }
        case 38: {  // CREATEPEN: handle, style, width (x, y), colour
          const std::uint32_t handle = p.U32LE();
          const std::uint32_t style = p.U32LE();
          const double w = p.S32LE();
          p.Skip(4);
          objects[handle] = {TPen{(style & 0x0F) == 5, FromColorRef(p.U32LE()), w}, std::nullopt};
          break;
        }
        case 39: {  // CREATEBRUSHINDIRECT: handle, style, colour, hatch
          const std::uint32_t handle = p.U32LE();
          const std::uint32_t style = p.U32LE();
          objects[handle] = {std::nullopt, TBrush{style == 1, FromColorRef(p.U32LE())}};
          break;
        }
        case 37: {  // SELECTOBJECT
          const std::uint32_t handle = p.U32LE();
          std::optional<TObject> object;
          if (handle & 0x80000000u) {
            object = StockObject(handle);
          } else if (auto it = objects.find(handle); it != objects.end()) {
            object = it->second;
          }
          if (object && object->Pen) painter.Pen = *object->Pen;
          if (object && object->Brush) painter.Brush = *object->Brush;
          break;
        }
        case 40:  // DELETEOBJECT
          objects.erase(p.U32LE());
          break;
        case 27: {  // MOVETOEX
          const double x = p.S32LE();
          painter.Current = {x, static_cast<double>(p.S32LE())};
          break;
        }
        case 54: {  // LINETO
          const double x = p.S32LE();
          painter.LineTo(x, p.S32LE());
          break;
        }
        case 42:    // ELLIPSE
        case 43: {  // RECTANGLE
          const double l = p.S32LE(), t = p.S32LE(), rt = p.S32LE(), b = p.S32LE();
          if (r.Type == 42)
            painter.Ellipse(l, t, rt, b);
          else
            painter.Rectangle(l, t, rt, b);
          break;
        }
        case 3:
        case 4:
        case 86:
        case 87: {  // POLYGON, POLYLINE and their 16-bit forms
          p.Skip(16);
          const std::uint32_t count = p.U32LE();
          const auto points = EmfPoints(p, count, r.Type >= 86);
          if (r.Type == 3 || r.Type == 86)
            painter.Polygon(points);
          else
            painter.Polyline(points);
          break;
        }
        case 8:
        case 91: {  // POLYPOLYGON, POLYPOLYGON16
          p.Skip(16);
          const std::uint32_t polygons = p.U32LE();
          p.Skip(4);  // total point count
          if (std::uint64_t{polygons} * 4 > p.Remaining()) Damaged(kEmf, "多边形数超出记录");
          std::vector<std::uint32_t> counts;
          for (std::uint32_t i = 0; i < polygons; ++i) counts.push_back(p.U32LE());
          std::vector<std::vector<TPoint>> all;
          for (std::uint32_t c : counts) all.push_back(EmfPoints(p, c, r.Type == 91));
          painter.PolyPolygon(all);
          break;
        }
        default:
          break;  // text, bitmaps, paths, clipping and the rest are not played
      }
    } catch (const EInvalidGraphicFormat& e) {
      if (e.Kind() != TGraphicFault::Truncated) throw;
      Damaged(kEmf, "记录 " + std::to_string(r.Type) + " 的参数不足");
    }
    painter.Mapping.Scaled = scaledMode && winExt && vpExt;
  }
}

}  // namespace

void TMetafile::LoadFromBytes(std::span<const std::uint8_t> data) {
  TBitmap image;
  // An enhanced metafile begins with its header record, type 1, and carries " EMF" at byte 40.
  const bool enhanced = data.size() >= 44 && data[0] == 1 && data[1] == 0 && data[2] == 0 &&
                        data[3] == 0 && data[40] == 0x20 && data[41] == 'E' && data[42] == 'M' &&
                        data[43] == 'F';
  if (enhanced)
    PlayEmf(data, image);
  else
    PlayWmf(data, image);
  FImage = std::move(image);
}

void TMetafile::Draw(TBitmap& canvas) const {
  const int w = std::min(FImage.Width(), canvas.Width());
  const int h = std::min(FImage.Height(), canvas.Height());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      TRGBQuad c = FImage.GetPixel(x, y);
      if (c.Reserved == 0) continue;
      c.Reserved = 0;
      canvas.SetPixel(x, y, c);
    }
  }
}

}  // namespace pennacrow
