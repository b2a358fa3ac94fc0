// Windows metafiles: 16-bit records of 16-bit words, optionally behind a placeable header that
// gives the picture's size in inches.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "picture/ByteReader.h"
#include "picture/MetafilePainter.h"
#include "picture/PixelLimits.h"
#include "text/Translate.h"

namespace pennacrow::metafile {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kWmfHeaderSize = 18;
constexpr std::size_t kPlaceableSize = 22;

// The record functions this player draws or keeps track of; the rest are skipped.
enum TWmfRecord : std::uint16_t {
  kEof = 0x0000,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kCreatePenIndirect = 0x02FA,
  kCreateBrushIndirect = 0x02FC,
  kCreateFontIndirect = 0x02FB,
  kCreatePalette = 0x00F7,
  kCreateRegion = 0x06FF,
  kDibCreatePatternBrush = 0x0142,
  kCreatePatternBrush = 0x01F9,
  kSelectObject = 0x012D,
  kDeleteObject = 0x01F0,
  kMoveTo = 0x0214,
  kLineTo = 0x0213,
  kRectangle = 0x041B,
  kEllipse = 0x0418,
  kRoundRect = 0x061C,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kPolyPolygon = 0x0538,
};

struct TRecord {
  std::uint16_t Function;
  std::span<const std::uint8_t> Params;
};

// The placeable header's bounding box and units, when the file has one.
struct TPlaceable {
  bool Present = false;
  double Left = 0, Top = 0, Right = 0, Bottom = 0, UnitsPerInch = 0;
};

std::vector<TPoint> WmfPoints(TByteReader& in, std::uint64_t count) {
  if (count * 4 > in.Remaining()) Damaged(kWmf, Tr("点数超出记录"));
  std::vector<TPoint> points;
  for (std::uint64_t i = 0; i < count; ++i) {
    const double x = in.S16LE();
    const double y = in.S16LE();
    points.push_back({x, y});
  }
  return points;
}

// The headers, and every record checked against the file before anything is drawn.
std::vector<TRecord> ReadRecords(TByteReader& in, TPlaceable& placeable,
                                 std::uint16_t& objectCount) {
  if (in.Size() >= 4 && in.U32LE() == kPlaceableKey) {
    placeable.Present = true;
    in.Skip(2);
    placeable.Left = in.S16LE();
    placeable.Top = in.S16LE();
    placeable.Right = in.S16LE();
    placeable.Bottom = in.S16LE();
    placeable.UnitsPerInch = in.U16LE();
    in.Seek(kPlaceableSize);
  } else {
    in.Seek(0);
  }
  const std::size_t start = in.Position();
  if (in.Remaining() < kWmfHeaderSize) throw InvalidFormatError(kWmf);
  const std::uint16_t type = in.U16LE();
  const std::uint16_t headerWords = in.U16LE();
  const std::uint16_t version = in.U16LE();
  if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0300 && version != 0x0100)) {
    throw InvalidFormatError(kWmf);
  }
  in.Seek(start + 6 + 4);
  objectCount = in.U16LE();
  in.Seek(start + kWmfHeaderSize);
  std::vector<TRecord> records;
  while (in.Remaining() > 0) {
    const std::uint32_t words = in.U32LE();
    const std::uint16_t function = in.U16LE();
    if (words < 3) Damaged(kWmf, TrF("记录长度 %1", {std::to_string(words)}));
    const auto params = in.Bytes((std::uint64_t{words} - 3) * 2);
    if (function == kEof) break;
    records.push_back({function, params});
  }
  return records;
}

// The picture's size: from the placeable header, else from the window extent.
TMapping PictureMapping(const TPlaceable& placeable, const std::vector<TRecord>& records,
                        int& width, int& height) {
  TMapping mapping;
  mapping.Scaled = true;
  if (placeable.Present) {
    if (placeable.UnitsPerInch == 0) throw InvalidFormatError(kWmf);
    const double w = std::fabs(placeable.Right - placeable.Left);
    const double h = std::fabs(placeable.Bottom - placeable.Top);
    width = static_cast<int>(std::lround(w * kScreenDpi / placeable.UnitsPerInch));
    height = static_cast<int>(std::lround(h * kScreenDpi / placeable.UnitsPerInch));
    mapping.WinOrgX = std::min(placeable.Left, placeable.Right);
    mapping.WinOrgY = std::min(placeable.Top, placeable.Bottom);
    mapping.WinExtX = w;
    mapping.WinExtY = h;
    return mapping;
  }
  for (const TRecord& r : records) {
    if (r.Function == kSetWindowExt && r.Params.size() >= 4) {
      TByteReader p(r.Params, kWmf);
      height = std::abs(int{p.S16LE()});
      width = std::abs(int{p.S16LE()});
      break;
    }
  }
  return mapping;
}

class TWmfPlayer {
 public:
  TWmfPlayer(TPainter& painter, std::uint16_t objectCount)
      : FPainter(painter), FObjects(objectCount) {}

  void Play(const TRecord& r) {
    TByteReader p(r.Params, kWmf);
    try {
      if (!Mapping(r.Function, p) && !Objects(r.Function, p) && !Lines(r.Function, p))
        Shapes(r.Function, p);
    } catch (const EInvalidGraphicFormat& e) {
      // A record shorter than its parameters is damage inside a record the header vouched for.
      if (e.Kind() != TGraphicFault::Truncated) throw;
      Damaged(kWmf, TrF("记录 %1 的参数不足", {std::to_string(r.Function)}));
    }
  }

 private:
  // Window origin and extent, each stored y first.
  bool Mapping(std::uint16_t function, TByteReader& p) {
    if (function != kSetWindowOrg && function != kSetWindowExt) return false;
    const double y = p.S16LE(), x = p.S16LE();
    (function == kSetWindowOrg ? FPainter.Mapping.WinOrgY : FPainter.Mapping.WinExtY) = y;
    (function == kSetWindowOrg ? FPainter.Mapping.WinOrgX : FPainter.Mapping.WinExtX) = x;
    return true;
  }

  // A new object takes the lowest free slot of the table the header sized.
  void Create(const TObject& object) {
    const auto free = std::find(FObjects.begin(), FObjects.end(), std::nullopt);
    if (free != FObjects.end()) *free = object;
  }

  bool Objects(std::uint16_t function, TByteReader& p) {
    switch (function) {
      case kCreatePenIndirect: {  // style, width (x, y), colour
        const std::uint16_t style = p.U16LE();
        const double w = p.S16LE();
        p.Skip(2);
        Create({TPen{(style & 0x0F) == 5, FromColorRef(p.U32LE()), w}, std::nullopt});
        return true;
      }
      case kCreateBrushIndirect: {  // style, colour, hatch
        const std::uint16_t style = p.U16LE();
        Create({std::nullopt, TBrush{style == 1, FromColorRef(p.U32LE())}});
        return true;
      }
      case kCreateFontIndirect:
      case kCreatePalette:
      case kCreateRegion:
      case kDibCreatePatternBrush:
      case kCreatePatternBrush:
        Create({});  // drawn as nothing, but they take a slot
        return true;
      case kSelectObject: {
        const std::uint16_t index = p.U16LE();
        if (index < FObjects.size() && FObjects[index]) {
          if (FObjects[index]->Pen) FPainter.Pen = *FObjects[index]->Pen;
          if (FObjects[index]->Brush) FPainter.Brush = *FObjects[index]->Brush;
        }
        return true;
      }
      case kDeleteObject: {
        const std::uint16_t index = p.U16LE();
        if (index < FObjects.size()) FObjects[index].reset();
        return true;
      }
      default:
        return false;
    }
  }

  // The current position and lines from it, stored y first.
  bool Lines(std::uint16_t function, TByteReader& p) {
    if (function != kMoveTo && function != kLineTo) return false;
    const double y = p.S16LE(), x = p.S16LE();
    if (function == kMoveTo)
      FPainter.Current = {x, y};
    else
      FPainter.LineTo(x, y);
    return true;
  }

  void Shapes(std::uint16_t function, TByteReader& p) {
    switch (function) {
      case kRoundRect:  // corner height and width first, drawn square-cornered
        p.Skip(4);
        [[fallthrough]];
      case kRectangle:
      case kEllipse: {  // bottom, right, top, left
        const double b = p.S16LE(), rt = p.S16LE(), t = p.S16LE(), l = p.S16LE();
        if (function == kEllipse)
          FPainter.Ellipse(l, t, rt, b);
        else
          FPainter.Rectangle(l, t, rt, b);
        break;
      }
      case kPolygon:
      case kPolyline: {
        const auto points = WmfPoints(p, p.U16LE());
        if (function == kPolygon)
          FPainter.Polygon(points);
        else
          FPainter.Polyline(points);
        break;
      }
      case kPolyPolygon: {  // polygon count, point counts, points
        const std::uint16_t polygons = p.U16LE();
        if (std::uint64_t{polygons} * 2 > p.Remaining()) Damaged(kWmf, Tr("多边形数超出记录"));
        std::vector<std::uint16_t> counts;
        for (std::uint16_t i = 0; i < polygons; ++i) counts.push_back(p.U16LE());
        std::vector<std::vector<TPoint>> all;
        for (std::uint16_t c : counts) all.push_back(WmfPoints(p, c));
        FPainter.PolyPolygon(all);
        break;
      }
      default:
        break;  // text, bitmaps, clipping and the rest are not played
    }
  }

  TPainter& FPainter;
  std::vector<std::optional<TObject>> FObjects;
};

}  // namespace

void PlayWmf(std::span<const std::uint8_t> data, TBitmap& image) {
  TByteReader in(data, kWmf);
  TPlaceable placeable;
  std::uint16_t objectCount = 0;
  const std::vector<TRecord> records = ReadRecords(in, placeable, objectCount);
  int width = 0, height = 0;
  TMapping mapping = PictureMapping(placeable, records, width, height);
  if (width <= 0 || height <= 0) throw InvalidFormatError(kWmf);
  CheckPictureSize(kWmf, width, height, 32);
  image.Allocate(width, height, 32);
  mapping.VpExtX = width;
  mapping.VpExtY = height;
  TPainter painter(image, kWmf);
  painter.Mapping = mapping;
  TWmfPlayer player(painter, objectCount);
  for (const TRecord& r : records) player.Play(r);
}

}  // namespace pennacrow::metafile
