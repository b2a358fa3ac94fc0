#include "text/TextFile.h"
#include "base/Translate.h"

#include "base/FileIO.h"
#include "text/TextRules.h"

namespace pennacrow {

bool IsValidUtf8(std::string_view bytes) {
  return FirstInvalidUtf8(bytes) == std::string_view::npos;
}

std::size_t FirstInvalidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    int follow = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      follow = 1;
      minimum = 0x80;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      follow = 2;
      minimum = 0x800;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      follow = 3;
      minimum = 0x10000;
      code = c & 0x07;
    } else {
      return i;
    }
    if (i + follow >= bytes.size()) return i;
    for (int k = 1; k <= follow; ++k) {
      const auto f = static_cast<unsigned char>(bytes[i + k]);
      if ((f & 0xC0) != 0x80) return i;
      code = code << 6 | (f & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
    i += follow + 1;
  }
  return std::string_view::npos;
}

std::string ReadTextFile(const std::string& fileName) {
  const std::vector<std::uint8_t> bytes =
      ReadWholeFile(fileName, kMaxTextFileBytes, N_("文本文件"));
  return std::string(bytes.begin(), bytes.end());
}

std::string TextFileToPayload(std::string_view fileBytes) {
  if (IsValidUtf8(fileBytes)) return Utf8ToPayload(fileBytes);
  return std::string(fileBytes);
}

std::string PayloadToTextFile(std::string_view payload) {
  return PayloadToUtf8(payload);
}

}  // namespace pennacrow
