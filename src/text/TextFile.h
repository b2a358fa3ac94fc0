#pragma once
// Plain text files loaded into and saved from the text panel. On this system text files are
// UTF-8; files written by the earlier program on Chinese Windows are code page 936. A file that
// is valid UTF-8 is read as UTF-8, any other as the payload code page, which covers both.
// Saving writes UTF-8 with the memo's CR LF line breaks.

#include <cstdint>
#include <string>
#include <string_view>

namespace pennacrow {

bool IsValidUtf8(std::string_view bytes);
// The offset of the first byte that does not start a valid UTF-8 sequence, or npos.
std::size_t FirstInvalidUtf8(std::string_view bytes);
std::string TextFileToPayload(std::string_view fileBytes);

// A text file's bytes, of which at most kMaxTextFileBytes are read. No picture holds more than
// 65,535 bytes of payload, and no conversion to the payload code page shrinks a text to less
// than a quarter, so a longer file could never be hidden; a device never ends.
constexpr std::uint64_t kMaxTextFileBytes = 4 * 65535;
std::string ReadTextFile(const std::string& fileName);
std::string PayloadToTextFile(std::string_view payload);

}  // namespace pennacrow
