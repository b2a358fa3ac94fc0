#pragma once
// Bit strings: texts of the characters "0" and "1", one per bit, most significant bit first
// unless a function says otherwise.

#include <cstdint>
#include <string>

namespace pennacrow {

// The container BitString: format byte (8 bits), length modulo 65536 (16 bits), the text's
// bytes (8 bits each).
std::string BuildBinaryString(const std::string& text, std::uint8_t format);

}  // namespace pennacrow
