#include "codec/BinaryUnit.h"

namespace pennacrow {

std::string BuildBinaryString(const std::string& text, std::uint8_t format) {
  (void)text;
  (void)format;
  return {};
}

}  // namespace pennacrow
