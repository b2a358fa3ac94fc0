#pragma once
// Plain text files loaded into and saved from the text panel. On this system text files are
// UTF-8; files written by the earlier program on Chinese Windows are code page 936. A file that
// is valid UTF-8 is read as UTF-8, any other as the payload code page, which covers both.
// Saving writes UTF-8 with the memo's CR LF line breaks.

#include <string>
#include <string_view>

namespace pennacrow {

bool IsValidUtf8(std::string_view bytes);
std::string TextFileToPayload(std::string_view fileBytes);
std::string PayloadToTextFile(std::string_view payload);

}  // namespace pennacrow
