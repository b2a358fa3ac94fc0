// Windows metafiles: 16-bit records of 16-bit words, optionally behind a placeable header that
// gives the picture's size in inches.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

#include "base/Translate.h"
#include "picture/ByteReader.h"
#include "picture/MetafilePainter.h"
#include "picture/PixelLimits.h"

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

// The object table the header sizes. GDI puts a new object in the lowest free slot; two levels
// of bit masks (a bit per free slot, a bit per word that has one) find it in a few steps however
// full the table is, for a file may create and delete objects by the hundred thousand.
class TObjectTable {
 public:
  explicit TObjectTable(std::size_t size)
      : FObjects(size), FFree(CeilDiv(size, 64)), FWordsWithFree(CeilDiv(FFree.size(), 64)) {
    for (std::size_t slot = 0; slot < size; ++slot) MarkFree(slot);
  }

  const std::optional<TObject>* Find(std::uint16_t index) const {
    return index < FObjects.size() && FObjects[index] ? &FObjects[index] : nullptr;
  }

  // A full table takes nothing: GDI fails the call.
  void Create(const TObject& object) {
    for (std::size_t group = 0; group < FWordsWithFree.size(); ++group) {
      if (FWordsWithFree[group] == 0) continue;
      const std::size_t word = group * 64 + std::countr_zero(FWordsWithFree[group]);
      FObjects[word * 64 + std::countr_zero(FFree[word])] = object;
      FFree[word] &= FFree[word] - 1;  // the lowest set bit, taken
      if (FFree[word] == 0) FWordsWithFree[group] &= ~(std::uint64_t{1} << (word % 64));
      return;
    }
  }

  void Delete(std::uint16_t index) {
    if (Find(index) == nullptr) return;
    FObjects[index].reset();
    MarkFree(index);
  }

 private:
  void MarkFree(std::size_t slot) {
    FFree[slot / 64] |= std::uint64_t{1} << (slot % 64);
    FWordsWithFree[slot / 4096] |= std::uint64_t{1} << (slot / 64 % 64);
  }

  std::vector<std::optional<TObject>> FObjects;
  std::vector<std::uint64_t> FFree;
  std::vector<std::uint64_t> FWordsWithFree;
};

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

  bool Objects(std::uint16_t function, TByteReader& p) {
    switch (function) {
      case kCreatePenIndirect: {  // style, width (x, y), colour
        const std::uint16_t style = p.U16LE();
        const double w = p.S16LE();
        p.Skip(2);
        FObjects.Create({TPen{(style & 0x0F) == 5, FromColorRef(p.U32LE()), w}, std::nullopt});
        return true;
      }
      case kCreateBrushIndirect: {  // style, colour, hatch
        const std::uint16_t style = p.U16LE();
        FObjects.Create({std::nullopt, TBrush{style == 1, FromColorRef(p.U32LE())}});
        return true;
      }
      case kCreateFontIndirect:
      case kCreatePalette:
      case kCreateRegion:
      case kDibCreatePatternBrush:
      case kCreatePatternBrush:
        FObjects.Create({});  // drawn as nothing, but they take a slot
        return true;
      case kSelectObject: {
        if (const std::optional<TObject>* object = FObjects.Find(p.U16LE())) {
          if ((*object)->Pen) FPainter.Pen = *(*object)->Pen;
          if ((*object)->Brush) FPainter.Brush = *(*object)->Brush;
        }
        return true;
      }
      case kDeleteObject: {
        FObjects.Delete(p.U16LE());
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
  TObjectTable FObjects;
};

}  // namespace

void PlayWmf(std::span<const std::uint8_t> data, const TPixelLimits& limits, TBitmap& image) {
  TByteReader in(data, kWmf);
  TPlaceable placeable;
  std::uint16_t objectCount = 0;
  const std::vector<TRecord> records = ReadRecords(in, placeable, objectCount);
  int width = 0, height = 0;
  TMapping mapping = PictureMapping(placeable, records, width, height);
  if (width <= 0 || height <= 0) throw InvalidFormatError(kWmf);
  FitPlaybackSize(width, height);
  CheckPictureSize(limits, kWmf, width, height, 32);
  image.Allocate(width, height, 32);
  mapping.VpExtX = width;
  mapping.VpExtY = height;
  TPainter painter(image, kWmf);
  painter.Mapping = mapping;
  TWmfPlayer player(painter, objectCount);
  for (const TRecord& r : records) {
    painter.Record();
    player.Play(r);
  }
}

}  // namespace pennacrow::metafile
