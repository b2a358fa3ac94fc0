#pragma once
// Base64 armour of the cipher's bytes (standard alphabet, "=" padding, no line breaks).
//
// The decoder is lenient in fixed ways that stored texts rely on: it reads only whole groups of
// four characters, ignoring 1 to 3 trailing ones; "=" in the third place ends a group after one
// byte and in the fourth after two, yet decoding goes on with the next group; a character
// outside the alphabet still takes its place in the group, which keeps the value that place held
// in the previous group (0 in the first).

#include <cstdint>
#include <string>
#include <string_view>

namespace pennacrow {

// Writes 4 * ((count + 2) / 3) characters to dest and returns that number. A count below 1
// writes nothing.
std::int32_t EncodeBase64Buffer(const void* source, char* dest, std::int32_t count);
// Reads the first 4 * (count / 4) characters of source and writes at most (count / 4) * 3 bytes
// to dest; returns the number written.
std::int32_t DecodeBase64Buffer(const char* source, void* dest, std::int32_t count);

std::string EncodeBase64String(std::string_view bytes);
std::string DecodeBase64String(std::string_view text);

// True when text is what the encoder writes: whole groups of four characters of the alphabet,
// with "=" only as the padding of the last group. The decoder takes far more than that.
bool IsStrictBase64(std::string_view text);

}  // namespace pennacrow
