#include "codec/Container.h"
#include "base/Translate.h"

#include <algorithm>
#include <array>
#include <climits>

#include "codec/BinaryUnit.h"
#include "codec/SystemRandom.h"
#include "crypto/CryptBase64.h"
#include "crypto/Sealed.h"
#include "text/TextFile.h"
#include "text/TextRules.h"

namespace pennacrow {

const char* const kWriteSucceeded = N_(" 数据写入成功！           ");
const char* const kWriteFailed = N_(" 数据写入失败！     ");
const char* const kReadSucceeded = N_(" 自此图像读取数据成功！  ");
const char* const kReadFailed = N_(" 自此图像读取数据失败！       ");
const char* const kDamagedContainerText = N_("隐藏数据已损坏");

namespace {

constexpr std::int64_t kHeaderBits = 24;
constexpr std::int64_t kMaxTextBytes = 65535;  // what the 16-bit length field can say

std::int64_t CarrierBitCount(const TBitmap& bitmap) {
  return std::int64_t{bitmap.Width()} * bitmap.Height();
}

// The carrier bytes are the first width bytes of each row; below 8 bits per pixel a row holds
// fewer bytes than that, so such a bitmap carries nothing we could read.
void RequireByteRows(const TBitmap& bitmap) {
  if (bitmap.Empty()) throw EInvalidGraphicOperation(Tr("没有图片，无法读取隐藏数据"));
  if (bitmap.BitsPerPixel() < 8 || bitmap.RowLength() < static_cast<std::size_t>(bitmap.Width())) {
    throw EInvalidGraphicOperation(Tr("图片每像素不足 8 位，不含隐藏数据"));
  }
}

// A header that asks for more bits than the picture has is not a container we can read.
void RequireCarrierBits(const TBitmap& bitmap, std::int64_t bits) {
  if (bits > CarrierBitCount(bitmap)) {
    throw EIncompleteContainer(
        TrF("隐藏数据不完整：需要 %1 字节，图片只能容纳 %2 字节",
            {std::to_string((bits + 7) / 8), std::to_string(CarrierBitCount(bitmap) / 8)}));
  }
}

// Walks the carrier bits from a position on, one row pointer at a time.
class TCarrierReader {
 public:
  TCarrierReader(const TBitmap& bitmap, std::int64_t start)
      : FBitmap(bitmap),
        FWidth(bitmap.Width()),
        FRow(static_cast<int>(start / FWidth)),
        FColumn(static_cast<int>(start % FWidth)) {}

  unsigned NextBit() {
    if (FRowBits == nullptr) FRowBits = FBitmap.ConstRowAt(FRow);
    const unsigned bit = FRowBits[FColumn] & 1u;
    if (++FColumn == FWidth) {
      FColumn = 0;
      ++FRow;
      FRowBits = nullptr;
    }
    return bit;
  }

  // Eight bits as one byte: the first read is the most significant bit, or with leastFirst the
  // least significant one (the version 1 layout).
  char NextByte(bool leastFirst) {
    unsigned value = 0;
    for (int i = 0; i < 8; ++i) {
      const unsigned bit = NextBit();
      value = leastFirst ? value | (bit << i) : (value << 1) | bit;
    }
    return static_cast<char>(value);
  }

 private:
  const TBitmap& FBitmap;
  int FWidth;
  int FRow;
  int FColumn;
  const std::uint8_t* FRowBits = nullptr;
};

// Random bits from the system's source, fetched a block at a time.
class TRandomBits {
 public:
  bool Next() {
    if (FUsed == FBlock.size() * 8) {
      FillFromSystem(FBlock.data(), FBlock.size());
      FUsed = 0;
    }
    const bool bit = (FBlock[FUsed / 8] >> (FUsed % 8)) & 1u;
    ++FUsed;
    return bit;
  }

 private:
  std::array<std::uint8_t, 4096> FBlock{};
  std::size_t FUsed = FBlock.size() * 8;
};

// Hands each carrier byte the container's bit for it, top row first, the first width bytes of
// each row; the bit is 1 for any character but "0", as SetLowBit has it.
template <typename TPut>
void ForEachCarrierByte(TBitmap& bitmap, const std::string& bitString, TPut put) {
  const auto bits = static_cast<std::int64_t>(bitString.size());
  const std::int64_t width = bitmap.Width();
  std::int64_t position = 0;
  for (int r = 0; position < bits; ++r) {
    std::uint8_t* row = bitmap.RowAt(r);
    const std::int64_t count = std::min(width, bits - position);
    const char* source = bitString.data() + position;
    for (std::int64_t c = 0; c < count; ++c) put(row[c], source[c] != '0' ? 1u : 0u);
    position += count;
  }
}

}  // namespace

std::string DataFormatText(std::uint8_t format) {
  switch (format) {
    case kFormatPlain:
      return N_("Pennacrow Ver 2.0，未加密        ");
    case kFormatEncrypted:
      return N_("Pennacrow Ver 2.0，已加密    ");
    case kFormatVersion1:
      return "Pennacrow Ver 1.x";
    case kFormatSealed:
      return N_("Pennacrow 已密封");
    default:
      return N_("无隐藏数据或格式未知   ");
  }
}

int MaxTextBytes(int width, int height) {
  const std::int64_t bits = std::int64_t{width} * height;
  return static_cast<int>(std::clamp<std::int64_t>((bits - kHeaderBits) / 8, 0, kMaxTextBytes));
}

const char* ContainerName(std::uint8_t format) {
  switch (format) {
    case kFormatPlain:
      return "plain";
    case kFormatEncrypted:
      return "encrypted";
    case kFormatVersion1:
      return "version1";
    case kFormatSealed:
      return "sealed";
    default:
      return "none";
  }
}

int Capacity(int width, int height) {
  // 32-bit arithmetic as the status bar always did it; the pixel limits keep it from wrapping,
  // and the conversion below is defined even if it did.
  return static_cast<std::int32_t>(static_cast<std::int64_t>(width) * height) / 8;
}

std::string CapacityText(int width, int height) {
  return TrF("数据大小：  %1", {std::to_string(Capacity(width, height))});
}

namespace {

// Row 0 as the earlier release probed it, nothing more.
std::uint8_t ProbeRowZero(const TBitmap& bitmap) {
  if (bitmap.Empty()) return kFormatProbeFailed;
  try {
    auto format = static_cast<std::uint8_t>(GetDataFormat(bitmap));
    if (format == 0 && GetOldDataLength(bitmap) > 0) format = kFormatVersion1;
    return format;
  } catch (...) {
    return kFormatProbeFailed;
  }
}

// The probes read positions 0 to 47.
constexpr std::int64_t kProbeBits = 48;

// At least the rows that hold the first bits carrier bits, or every row the picture has.
const TBitmap& RowsForBits(TRowSource& source, std::int64_t bits) {
  const TBitmap& first = source.Rows(1);
  const std::int64_t width = std::max(first.Width(), 1);
  const std::int64_t rows = std::min<std::int64_t>((bits + width - 1) / width, INT_MAX);
  return rows <= first.Height() ? first : source.Rows(static_cast<int>(rows));
}

// The carrier bits a container of this format occupies, by its header.
std::int64_t ContainerBits(const TBitmap& header, std::uint8_t format) {
  if (format != kFormatVersion1) return kHeaderBits + 8 * std::int64_t{GetDataLength(header)};
  const std::int64_t length = GetOldDataLength(header) / 2;
  return length == 0 ? kProbeBits : 64 + 8 * length;
}

}  // namespace

const TBitmap& ContainerRows(TRowSource& source, std::uint8_t format) {
  return RowsForBits(source, ContainerBits(RowsForBits(source, kProbeBits), format));
}

bool IsPlainText(std::string_view text) {
  // Control characters alone are what dark and transparent pixels read as, never a text.
  const bool printable = std::any_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
  });
  // --raw keeps the bytes it is given: UTF-8 as often as the payload code page.
  return printable && (FirstInvalidPayloadText(text) == std::string_view::npos ||
                       FirstInvalidUtf8(text) == std::string_view::npos);
}

namespace {

// Whether a payload read under a container code is what a writer of that code leaves. An empty
// one holds nothing, and is what flat and transparent areas read as.
TContainerState JudgePayload(std::uint8_t format, const std::string& payload) {
  if (format == kFormatSealed) {
    return LooksLikeSealedPayload(payload) ? TContainerState::Found : TContainerState::None;
  }
  if (payload.empty()) return TContainerState::None;
  bool plausible = false;
  switch (format) {
    case kFormatVersion1:
      return LooksLikeVersion1Text(payload) ? TContainerState::Found : TContainerState::None;
    case kFormatPlain:
      plausible = IsPlainText(payload);
      break;
    case kFormatEncrypted:
      plausible = IsStrictBase64(payload);
      break;
    default:
      return TContainerState::None;
  }
  if (plausible) return TContainerState::Found;
  // A seal whose format byte was changed: its salt, nonce and ciphertext are never a text.
  return LooksLikeSealedPayload(payload) ? TContainerState::Damaged : TContainerState::None;
}

// The probe, and the payload it read when the header named a container.
TContainerProbe Probe(TRowSource& source, std::string& payload) {
  const TBitmap& header = RowsForBits(source, kProbeBits);
  std::uint8_t format = ProbeRowZero(header);
  if (!HoldsContainer(format)) return {format, TContainerState::None};
  // A length that runs past the picture is a chance header: its rows are not worth decoding.
  if (ContainerBits(header, format) > std::int64_t{header.Width()} * source.Height()) {
    return {0, TContainerState::None};
  }
  const TBitmap& rows = ContainerRows(source, format);
  try {
    payload = ReadContainer(rows, format);
  } catch (const EIncompleteContainer&) {
    return {0, TContainerState::None};  // a length that runs past the picture: a chance header
  }
  const TContainerState state = JudgePayload(format, payload);
  return {state == TContainerState::Found ? format : std::uint8_t{0}, state};
}

}  // namespace

TContainerProbe ProbeContainer(TRowSource& source) {
  std::string payload;
  return Probe(source, payload);
}

std::uint8_t DetectDataFormat(const TBitmap* bitmap) {
  if (bitmap == nullptr) return kFormatProbeFailed;
  TBitmapRows rows(*bitmap);
  try {
    return DetectDataFormat(rows);
  } catch (const std::exception&) {
    return kFormatProbeFailed;
  }
}

// A source that cannot load its rows raises; the probes themselves never do.
std::uint8_t DetectDataFormat(TRowSource& source) {
  return ProbeContainer(source).Format;
}

bool HoldsContainer(std::uint8_t format) {
  return format == kFormatPlain || format == kFormatEncrypted || format == kFormatVersion1 ||
         format == kFormatSealed;
}

bool LooksLikeVersion1Text(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    // Trail bytes of the payload code page are never below 0x30 nor 0x7F, so a byte test is
    // exact here.
    if ((byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F) return false;
  }
  return FirstInvalidPayloadText(text) == std::string::npos;
}

int MaxEncryptedTextBytes(int width, int height) {
  return MaxTextBytes(width, height) / 4 * 3;
}

void AddBinaryToImage(TBitmap& bitmap, const std::string& bitString, TLowBitWriting writing) {
  if (bitString.empty()) return;
  // Refuse before touching a pixel: a cut container would read back as a wrong text, and a
  // length of 65,536 or more would be stored modulo 65,536.
  const auto bits = static_cast<std::int64_t>(bitString.size());
  const std::int64_t textBytes = std::max<std::int64_t>(0, bits - kHeaderBits + 7) / 8;
  const std::int64_t carrierBits = CarrierBitCount(bitmap);
  if (bits > carrierBits || textBytes > kMaxTextBytes) {
    const std::int64_t room =
        std::clamp<std::int64_t>((carrierBits - kHeaderBits) / 8, 0, kMaxTextBytes);
    throw ETextDoesNotFit(TrF("文本太长：图片最多能容纳 %1 字节，文本需要 %2 字节",
                              {std::to_string(room), std::to_string(textBytes)}));
  }
  // Rows of 1 or 4 bits per pixel hold fewer bytes than the picture is wide.
  if (bitmap.BitsPerPixel() < 8) bitmap.SetBitsPerPixel(24);

  if (writing == TLowBitWriting::Replace) {
    ForEachCarrierByte(bitmap, bitString, [](std::uint8_t& byte, unsigned bit) {
      byte = static_cast<std::uint8_t>((byte & 0xFEu) | bit);
    });
    return;
  }
  TRandomBits random;
  ForEachCarrierByte(bitmap, bitString, [&random](std::uint8_t& byte, unsigned bit) {
    if ((byte & 1u) == bit) return;
    // Either step flips the low bit; at the ends of the range only one stays a byte.
    const bool up = byte == 0 || (byte != 255 && random.Next());
    byte = static_cast<std::uint8_t>(up ? byte + 1 : byte - 1);
  });
}

std::string RemoveBinaryFromImage(const TBitmap& bitmap, std::uint8_t& format) {
  format = static_cast<std::uint8_t>(GetDataFormat(bitmap));
  RequireByteRows(bitmap);
  const std::int64_t length = GetDataLength(bitmap);
  RequireCarrierBits(bitmap, kHeaderBits + 8 * length);
  TCarrierReader reader(bitmap, kHeaderBits);
  std::string text(static_cast<std::size_t>(length), '\0');
  for (char& byte : text) byte = reader.NextByte(false);
  return text;
}

std::string RemoveBinaryFromOldImage(const TBitmap& bitmap, std::uint8_t& format) {
  format = kFormatVersion1;
  RequireByteRows(bitmap);
  // The earlier release collected (probe + 6) bytes, about twice the length, which is more than
  // the container needs except for a one-byte text, whose last bits it could miss; we take what
  // the layout says: the 64 header bits and then the text.
  const std::int64_t length = GetOldDataLength(bitmap) / 2;
  RequireCarrierBits(bitmap, length == 0 ? 48 : 64 + 8 * length);
  if (length == 0) return {};
  TCarrierReader reader(bitmap, 64);
  std::string text(static_cast<std::size_t>(length), '\0');
  for (char& byte : text) byte = reader.NextByte(true);
  return text;
}

std::string ReadContainer(const TBitmap& bitmap, std::uint8_t& format) {
  return format == kFormatVersion1 ? RemoveBinaryFromOldImage(bitmap, format)
                                   : RemoveBinaryFromImage(bitmap, format);
}

ENoHiddenText::ENoHiddenText() : EPennacrowError(Tr("这幅图片里没有隐藏的文本")) {}

EDamagedContainer::EDamagedContainer()
    : EPennacrowError(Tr("隐藏数据已损坏：格式字节标明的是文本，数据却是密封的内容")) {}

THiddenText ReadHiddenText(const TBitmap& bitmap, bool force) {
  TBitmapRows rows(bitmap);
  return ReadHiddenText(rows, force);
}

THiddenText ReadHiddenText(TRowSource& source, bool force) {
  THiddenText hidden;
  if (force) {
    hidden.Format = ProbeRowZero(RowsForBits(source, kProbeBits));
    hidden.Text = ReadContainer(ContainerRows(source, hidden.Format), hidden.Format);
    return hidden;
  }
  const TContainerProbe probe = Probe(source, hidden.Text);
  if (probe.State == TContainerState::Damaged) throw EDamagedContainer();
  if (probe.State != TContainerState::Found) throw ENoHiddenText();
  hidden.Format = probe.Format;
  return hidden;
}

std::optional<THiddenText> FindHiddenText(const TBitmap& bitmap) {
  TBitmapRows rows(bitmap);
  return FindHiddenText(rows);
}

std::optional<THiddenText> FindHiddenText(TRowSource& source) {
  try {
    return ReadHiddenText(source);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string HideText(TBitmap& bitmap, const THideOptions& options) {
  std::string bitString = BuildBinaryString(options.Text, options.Format);
  AddBinaryToImage(bitmap, bitString, options.Writing);
  return bitString;
}

std::uint8_t FormatForMemoText(const std::string& memoText,
                               const std::optional<std::string>& armouredText) {
  return armouredText && *armouredText == memoText ? kFormatEncrypted : kFormatPlain;
}

}  // namespace pennacrow
