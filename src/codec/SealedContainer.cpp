#include "codec/SealedContainer.h"
#include "base/Translate.h"

#include <algorithm>

#include "codec/BinaryUnit.h"
#include "codec/Container.h"

namespace pennacrow {

namespace {

constexpr std::int64_t kContainerHeaderBytes = 3;
constexpr std::int64_t kMaxPayloadBytes = 65535;

std::int64_t LargestPayload(int width, int height) {
  return std::min<std::int64_t>(Capacity(width, height) - kContainerHeaderBytes, kMaxPayloadBytes);
}

}  // namespace

int SealedCapacity(int width, int height) {
  const std::int64_t text = LargestPayload(width, height) - std::int64_t{kSealOverhead};
  return static_cast<int>(std::max<std::int64_t>(0, text));
}

void RequireSealedFits(const TBitmap& bitmap, const TSealedContent& content) {
  const auto needed = static_cast<std::int64_t>(SealedSize(content));
  const std::int64_t room = LargestPayload(bitmap.Width(), bitmap.Height());
  if (needed > room) {
    const std::size_t extra = SealedSize(content) - content.Bytes.size();
    throw ETextDoesNotFit(
        TrF("内容太大：这张图片最多能密封 %1 字节，内容有 %2 字节",
            {std::to_string(std::max<std::int64_t>(0, room - std::int64_t(extra))),
             std::to_string(content.Bytes.size())}));
  }
}

void HideSealed(TBitmap& bitmap, std::string_view password, const TSealedContent& content,
                TSealParameters parameters, TLowBitWriting writing) {
  RequireSealedFits(bitmap, content);
  HideText(bitmap, {SealPayload(password, content, parameters), kFormatSealed, writing});
}

std::string ReadSealedPayload(const TBitmap& bitmap) {
  std::uint8_t format = 0;
  std::string payload;
  try {
    payload = RemoveBinaryFromImage(bitmap, format);
  } catch (const std::exception&) {
    throw ESealOpen();
  }
  if (format != kFormatSealed) throw ESealOpen();
  return payload;
}

}  // namespace pennacrow
