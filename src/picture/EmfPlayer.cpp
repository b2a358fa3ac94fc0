// Enhanced metafiles: 32-bit records after a header whose frame gives the picture's size.

#include <algorithm>
#include <cmath>
#include <map>

#include "base/Translate.h"
#include "picture/ByteReader.h"
#include "picture/MetafilePainter.h"
#include "picture/PixelLimits.h"

namespace pennacrow::metafile {

namespace {

constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::size_t kEmfHeaderMin = 88;

// The record types this player draws or keeps track of; the rest are skipped.
enum TEmfRecord : std::uint32_t {
  kHeader = 1,
  kPolygon = 3,
  kPolyline = 4,
  kPolyPolygon = 8,
  kSetWindowExtEx = 9,
  kSetWindowOrgEx = 10,
  kSetViewportExtEx = 11,
  kSetViewportOrgEx = 12,
  kEof = 14,
  kSetMapMode = 17,
  kMoveToEx = 27,
  kSelectObject = 37,
  kCreatePen = 38,
  kCreateBrushIndirect = 39,
  kDeleteObject = 40,
  kEllipse = 42,
  kRectangle = 43,
  kLineTo = 54,
  kPolygon16 = 86,
  kPolyline16 = 87,
  kPolyPolygon16 = 91,
};

// Isotropic and anisotropic map modes use the window and viewport extents.
constexpr std::uint32_t kMmIsotropic = 7, kMmAnisotropic = 8;
constexpr std::uint32_t kStockObject = 0x80000000u;

struct TRecord {
  std::uint32_t Type;
  std::span<const std::uint8_t> Params;
};

std::vector<TPoint> EmfPoints(TByteReader& in, std::uint64_t count, bool shortPoints) {
  if (count * (shortPoints ? 4 : 8) > in.Remaining()) Damaged(kEmf, Tr("点数超出记录"));
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

// GDI's stock brushes (0 to 5) and pens (6 to 8).
std::optional<TObject> StockObject(std::uint32_t index) {
  static const TRGBQuad kBrushes[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                      RGB(64, 64, 64), RGB(0, 0, 0)};
  const std::uint32_t i = index & ~kStockObject;
  if (i <= 4) return TObject{std::nullopt, TBrush{false, kBrushes[i]}};
  if (i == 5) return TObject{std::nullopt, TBrush{true, {}}};
  if (i == 6) return TObject{TPen{false, RGB(255, 255, 255), 0}, std::nullopt};
  if (i == 7) return TObject{TPen{false, RGB(0, 0, 0), 0}, std::nullopt};
  if (i == 8) return TObject{TPen{true, {}, 0}, std::nullopt};
  return std::nullopt;
}

struct TEmfHeader {
  std::uint32_t Size = 0;
  double BoundsL = 0, BoundsT = 0, BoundsR = 0, BoundsB = 0;
  double FrameL = 0, FrameT = 0, FrameR = 0, FrameB = 0;
  double DeviceX = 0, DeviceY = 0, MmX = 0, MmY = 0;
};

TEmfHeader ReadHeader(TByteReader& in) {
  if (in.Size() < kEmfHeaderMin) throw InvalidFormatError(kEmf);
  TEmfHeader h;
  const std::uint32_t type = in.U32LE();
  h.Size = in.U32LE();
  h.BoundsL = in.S32LE(), h.BoundsT = in.S32LE(), h.BoundsR = in.S32LE(), h.BoundsB = in.S32LE();
  h.FrameL = in.S32LE(), h.FrameT = in.S32LE(), h.FrameR = in.S32LE(), h.FrameB = in.S32LE();
  const std::uint32_t signature = in.U32LE();
  if (type != kHeader || signature != kEmfSignature || h.Size < kEmfHeaderMin || h.Size % 4 != 0) {
    throw InvalidFormatError(kEmf);
  }
  in.Seek(72);
  h.DeviceX = in.S32LE(), h.DeviceY = in.S32LE();
  h.MmX = in.S32LE(), h.MmY = in.S32LE();
  return h;
}

// The frame (hundredths of a millimetre) gives the picture's size at screen resolution, and
// logical units are the reference device's pixels; without a usable frame, the bounds.
TMapping PictureMapping(const TEmfHeader& h, int& width, int& height) {
  const auto pixels = [](double hundredthsMm) {
    return static_cast<int>(std::lround(std::clamp(hundredthsMm * kScreenDpi / 2540, -1e9, 1e9)));
  };
  width = pixels(h.FrameR - h.FrameL);
  height = pixels(h.FrameB - h.FrameT);
  TMapping mapping;
  if (width > 0 && height > 0 && h.DeviceX > 0 && h.DeviceY > 0 && h.MmX > 0 && h.MmY > 0) {
    const double pxPerUnitX = h.DeviceX / (h.MmX * 100);
    const double pxPerUnitY = h.DeviceY / (h.MmY * 100);
    mapping.DevX0 = h.FrameL * pxPerUnitX;
    mapping.DevY0 = h.FrameT * pxPerUnitY;
    mapping.DevScaleX = width / ((h.FrameR - h.FrameL) * pxPerUnitX);
    mapping.DevScaleY = height / ((h.FrameB - h.FrameT) * pxPerUnitY);
    return mapping;
  }
  width = static_cast<int>(std::clamp(h.BoundsR - h.BoundsL + 1, -1.0, 1e9));
  height = static_cast<int>(std::clamp(h.BoundsB - h.BoundsT + 1, -1.0, 1e9));
  mapping.DevX0 = h.BoundsL;
  mapping.DevY0 = h.BoundsT;
  return mapping;
}

// Every record checked against the file before anything is drawn.
std::vector<TRecord> ReadRecords(TByteReader& in, std::uint32_t headerSize) {
  std::vector<TRecord> records;
  in.Seek(headerSize);
  while (in.Remaining() > 0) {
    const std::uint32_t type = in.U32LE();
    const std::uint32_t size = in.U32LE();
    if (size < 8 || size % 4 != 0) Damaged(kEmf, TrF("记录长度 %1", {std::to_string(size)}));
    const auto params = in.Bytes(std::uint64_t{size} - 8);
    if (type == kEof) break;
    records.push_back({type, params});
  }
  return records;
}

class TEmfPlayer {
 public:
  explicit TEmfPlayer(TPainter& painter) : FPainter(painter) {}

  void Play(const TRecord& r) {
    TByteReader p(r.Params, kEmf);
    try {
      if (!Mapping(r.Type, p) && !Objects(r.Type, p) && !Lines(r.Type, p)) Shapes(r.Type, p);
    } catch (const EInvalidGraphicFormat& e) {
      if (e.Kind() != TGraphicFault::Truncated) throw;
      Damaged(kEmf, TrF("记录 %1 的参数不足", {std::to_string(r.Type)}));
    }
    FPainter.Mapping.Scaled = FScaledMode && FWindowExtent && FViewportExtent;
  }

 private:
  bool Mapping(std::uint32_t type, TByteReader& p) {
    TMapping& m = FPainter.Mapping;
    switch (type) {
      case kSetWindowExtEx:
        m.WinExtX = p.S32LE(), m.WinExtY = p.S32LE();
        FWindowExtent = true;
        return true;
      case kSetWindowOrgEx:
        m.WinOrgX = p.S32LE(), m.WinOrgY = p.S32LE();
        return true;
      case kSetViewportExtEx:
        m.VpExtX = p.S32LE(), m.VpExtY = p.S32LE();
        FViewportExtent = true;
        return true;
      case kSetViewportOrgEx:
        m.VpOrgX = p.S32LE(), m.VpOrgY = p.S32LE();
        return true;
      case kSetMapMode: {
        const std::uint32_t mode = p.U32LE();
        FScaledMode = mode == kMmIsotropic || mode == kMmAnisotropic;
        return true;
      }
      default:
        return false;
    }
  }

  void Select(std::uint32_t handle) {
    std::optional<TObject> object;
    if (handle & kStockObject) {
      object = StockObject(handle);
    } else if (auto it = FObjects.find(handle); it != FObjects.end()) {
      object = it->second;
    }
    if (object && object->Pen) FPainter.Pen = *object->Pen;
    if (object && object->Brush) FPainter.Brush = *object->Brush;
  }

  bool Objects(std::uint32_t type, TByteReader& p) {
    switch (type) {
      case kCreatePen: {  // handle, style, width (x, y), colour
        const std::uint32_t handle = p.U32LE();
        const std::uint32_t style = p.U32LE();
        const double w = p.S32LE();
        p.Skip(4);
        FObjects[handle] = {TPen{(style & 0x0F) == 5, FromColorRef(p.U32LE()), w}, std::nullopt};
        return true;
      }
      case kCreateBrushIndirect: {  // handle, style, colour, hatch
        const std::uint32_t handle = p.U32LE();
        const std::uint32_t style = p.U32LE();
        FObjects[handle] = {std::nullopt, TBrush{style == 1, FromColorRef(p.U32LE())}};
        return true;
      }
      case kSelectObject:
        Select(p.U32LE());
        return true;
      case kDeleteObject:
        FObjects.erase(p.U32LE());
        return true;
      default:
        return false;
    }
  }

  bool Lines(std::uint32_t type, TByteReader& p) {
    if (type != kMoveToEx && type != kLineTo) return false;
    const double x = p.S32LE(), y = p.S32LE();
    if (type == kMoveToEx)
      FPainter.Current = {x, y};
    else
      FPainter.LineTo(x, y);
    return true;
  }

  void Shapes(std::uint32_t type, TByteReader& p) {
    switch (type) {
      case kEllipse:
      case kRectangle: {
        const double l = p.S32LE(), t = p.S32LE(), rt = p.S32LE(), b = p.S32LE();
        if (type == kEllipse)
          FPainter.Ellipse(l, t, rt, b);
        else
          FPainter.Rectangle(l, t, rt, b);
        break;
      }
      case kPolygon:
      case kPolyline:
      case kPolygon16:
      case kPolyline16: {
        p.Skip(16);  // bounds
        const auto points = EmfPoints(p, p.U32LE(), type >= kPolygon16);
        if (type == kPolygon || type == kPolygon16)
          FPainter.Polygon(points);
        else
          FPainter.Polyline(points);
        break;
      }
      case kPolyPolygon:
      case kPolyPolygon16: {
        p.Skip(16);  // bounds
        const std::uint32_t polygons = p.U32LE();
        p.Skip(4);  // total point count
        if (std::uint64_t{polygons} * 4 > p.Remaining()) Damaged(kEmf, Tr("多边形数超出记录"));
        std::vector<std::uint32_t> counts;
        for (std::uint32_t i = 0; i < polygons; ++i) counts.push_back(p.U32LE());
        std::vector<std::vector<TPoint>> all;
        for (std::uint32_t c : counts) all.push_back(EmfPoints(p, c, type == kPolyPolygon16));
        FPainter.PolyPolygon(all);
        break;
      }
      default:
        break;  // text, bitmaps, paths, clipping and the rest are not played
    }
  }

  TPainter& FPainter;
  std::map<std::uint32_t, TObject> FObjects;
  bool FScaledMode = false, FWindowExtent = false, FViewportExtent = false;
};

}  // namespace

void PlayEmf(std::span<const std::uint8_t> data, const TPixelLimits& limits, TBitmap& image) {
  TByteReader in(data, kEmf);
  const TEmfHeader header = ReadHeader(in);
  int width = 0, height = 0;
  TMapping mapping = PictureMapping(header, width, height);
  if (width <= 0 || height <= 0) throw InvalidFormatError(kEmf);
  const double scale = FitPlaybackSize(width, height);
  mapping.DevScaleX *= scale;
  mapping.DevScaleY *= scale;
  CheckPictureSize(limits, kEmf, width, height, 32);
  const std::vector<TRecord> records = ReadRecords(in, header.Size);
  image.Allocate(width, height, 32);
  TPainter painter(image, kEmf);
  painter.Mapping = mapping;
  TEmfPlayer player(painter);
  for (const TRecord& r : records) {
    painter.Record();
    player.Play(r);
  }
}

}  // namespace pennacrow::metafile
