#include "codec/CapacityMeter.h"
#include "base/Translate.h"

#include "crypto/Sealed.h"
#include "text/TextRules.h"

#include <algorithm>

namespace pennacrow {

TCapacityUse MeasureCapacityUse(std::size_t textBytes, int width, int height) {
  TCapacityUse use;
  use.Used = 3 + static_cast<std::int64_t>(textBytes);
  const std::int64_t bits =
      static_cast<std::int64_t>(width > 0 ? width : 0) * (height > 0 ? height : 0);
  // What the writer accepts, not what the pixels could hold: the length field ends at 65,535.
  use.Capacity = std::min<std::int64_t>(bits / 8, 3 + 65535);
  // The same rule as the write command: 24 + 8n bits must fit, and the length field holds at
  // most 65,535.
  use.Fits = textBytes <= 65535 && 24 + 8 * static_cast<std::int64_t>(textBytes) <= bits;
  return use;
}

TCapacityUse MeasureMemoCapacity(const std::string& payloadText, int width, int height) {
  TCapacityUse use = MeasureCapacityUse(payloadText.size(), width, height);
  // Sealing takes the text as UTF-8, so its size is not the payload's.
  const auto sealed = static_cast<std::int64_t>(kSealOverhead + PayloadToUtf8(payloadText).size());
  use.SealedUsed = 3 + sealed;
  use.SealedFits = sealed <= 65535 && use.SealedUsed <= use.Capacity;
  return use;
}

std::string GroupThousands(std::int64_t value) {
  const std::string digits = std::to_string(value < 0 ? -value : value);
  std::string grouped = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string CapacityUseText(const TCapacityUse& use) {
  std::string text =
      TrF("已用 %1 / %2 字节", {GroupThousands(use.Used), GroupThousands(use.Capacity)});
  if (use.SealedUsed > 0) text += TrF("（密封 %1）", {GroupThousands(use.SealedUsed)});
  return text;
}

}  // namespace pennacrow
