#pragma once
// The payload text's rules. Texts are byte strings in the payload code page, GB18030: it is
// byte-identical to code page 936 for every character that code page has, so texts of the
// earlier program read the same, and it carries every other Unicode character without loss.

#include <string>
#include <string_view>

namespace pennacrow {

// What the text memo does with a text it is given: every CR, LF or CR LF becomes CR LF, and the
// text ends at its first zero byte.
std::string NormalizeLineBreaks(std::string_view text);

// UTF-8 <-> payload code page. Bytes that do not decode become U+FFFD (to UTF-8) or "?" (to the
// payload code page); the conversions never fail.
std::string Utf8ToPayload(std::string_view utf8);
std::string PayloadToUtf8(std::string_view payload);

// True when every byte sequence is a character of the payload code page.
bool IsValidPayload(std::string_view payload);
// Where the first byte sequence that is no character of a text of this program or an earlier
// release starts (the payload code page, and code page 936's euro sign 0x80); npos when none.
std::size_t FirstInvalidPayloadText(std::string_view text);

// UTF-8 text for a terminal: every control character but tab, line feed and the CR of a CR LF
// (C0, DEL and C1) shown as cat -v and less show them, "^[" and "<U+009B>", so that a text cannot
// move the cursor, retitle the terminal or hide lines. escaped receives how many there were.
std::string EscapeForTerminal(std::string_view utf8, std::size_t& escaped);

// A JSON string literal: quotes, backslashes and control characters escaped; UTF-8 passes
// through as it is.
std::string JsonString(const std::string& text);

}  // namespace pennacrow
