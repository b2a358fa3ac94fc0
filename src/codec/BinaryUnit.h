#pragma once
// Bit strings: texts of the characters "0" and "1", one per bit, most significant bit first
// unless a function says otherwise. Texts are byte strings; bytes are unsigned.

#include <cstdint>
#include <string>

#include "picture/Bitmap.h"
#include "picture/Errors.h"

namespace pennacrow {

// A group handed to BinaryToChar holds a character that is not a decimal digit.
class EConvertError : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// Bits topBit .. 0 of value, most significant first: value modulo 2^(topBit + 1). A negative
// topBit gives the empty string; bits above 31 read as "0".
std::string IntToBinary(std::int32_t value, int topBit);
// The first character weighs most, the last 1; every character other than "1" counts as 0.
// Longer strings than 32 characters keep the low 32 bits.
std::int32_t BinaryToInt(const std::string& bits);
// The eight bits of c, most significant first.
std::string CharToBinary(std::uint8_t c);
// CharToBinary of every byte, in order.
std::string TextToBinary(const std::string& text);
// A group of digits read most significant first after the outer characters of code 32 or less
// are trimmed: weights 128, 64, ..., 1, then 0; a short group keeps the weights of its leading
// positions ("101" gives 160). Raises EConvertError for a character that is not a digit.
std::uint8_t BinaryToChar(const std::string& group);
std::string ReverseString(const std::string& s);
// '1' when the least significant bit of b is set, else '0'.
char GetLowBit(std::uint8_t b);
// b with its least significant bit cleared for '0' and set for any other character.
std::uint8_t SetLowBit(std::uint8_t b, char bit);

// The container BitString: format byte (8 bits), length modulo 65536 (16 bits), the text's
// bytes (8 bits each).
std::string BuildBinaryString(const std::string& text, std::uint8_t format);

// The carrier bits of a bitmap: the low bits of the first width bytes of every row, top row
// first. Position p lives in row p div width, byte p mod width.
//
// The header probes read their fields at these positions, the same ones the writer fills, so
// that a picture narrower than the header (fewer than 48 pixels) still reads back what was
// written into it. A probe answers 0 ("nothing there") when the picture cannot hold every
// position it reads: fewer than 8 bits per pixel (rows shorter than the width, which the writer
// never leaves behind) or fewer carrier bits than the field's last position. No probe reads
// outside a row.
//
// The format byte at positions 0 to 7.
std::int32_t GetDataFormat(const TBitmap& bitmap);
// The version 2 length at positions 8 to 23, 0 to 65535.
std::int32_t GetDataLength(const TBitmap& bitmap);
// Positions 31 to 47 with position 31 weighing 1 and 47 weighing 65536: twice the version 1
// length (stored least significant bit first at 32 to 47) plus the bit at position 31.
std::int32_t GetOldDataLength(const TBitmap& bitmap);

// A version 2 container's text: skips the format byte, reads the 16-bit length n, then decodes
// n groups of 8. Groups that run past the end decode as BinaryToChar does (an empty one as 0),
// so the result always has n bytes.
std::string BinaryToText(const std::string& bits);
// A version 1 container's text: the length at positions 32 to 47 and the bytes from 64 on, both
// least significant bit first.
std::string BinaryToOldText(const std::string& bits);

}  // namespace pennacrow
