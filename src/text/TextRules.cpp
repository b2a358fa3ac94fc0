#include "text/TextRules.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "base/Error.h"

namespace pennacrow {

std::string NormalizeLineBreaks(std::string_view text) {
  const auto zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

class TIconv {
 public:
  TIconv(const char* to, const char* from) : FHandle(iconv_open(to, from)) {
    if (FHandle == reinterpret_cast<iconv_t>(-1)) {
      throw EPennacrowError(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;
  ~TIconv() { iconv_close(FHandle); }

  // Converts all of input; an undecodable byte is skipped and replaced.
  std::string Convert(std::string_view input, std::string_view replacement) {
    std::string out;
    out.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    for (;;) {
      char* dst = out.data() + used;
      std::size_t outLeft = out.size() - used;
      const std::size_t r = iconv(FHandle, inLeft ? &in : nullptr, &inLeft, &dst, &outLeft);
      used = out.size() - outLeft;
      if (r != static_cast<std::size_t>(-1)) {
        if (inLeft == 0) break;
        continue;
      }
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
      } else {  // EILSEQ or EINVAL: an undecodable or cut sequence
        out.resize(used);
        out += replacement;
        used = out.size();
        out.resize(used + inLeft * 2 + 16);
        ++in;
        --inLeft;
        iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
        if (inLeft == 0) break;
      }
    }
    out.resize(used);
    return out;
  }

  // Where the first undecodable or cut sequence of input starts; npos when there is none.
  std::size_t FirstInvalid(std::string_view input) {
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
      char* dst = buffer;
      std::size_t outLeft = sizeof buffer;
      if (iconv(FHandle, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1) &&
          errno != E2BIG) {
        return input.size() - inLeft;
      }
    }
    return std::string_view::npos;
  }

 private:
  iconv_t FHandle;
};

}  // namespace

std::string Utf8ToPayload(std::string_view utf8) {
  TIconv conv("GB18030", "UTF-8");
  return conv.Convert(utf8, "?");
}

bool IsValidPayload(std::string_view payload) {
  TIconv conv("UTF-8", "GB18030");
  return conv.FirstInvalid(payload) == std::string_view::npos;
}

std::size_t FirstInvalidPayloadText(std::string_view text) {
  // The earlier release ran on code page 936, whose single byte 0x80 is the euro sign; the
  // payload code page has no such byte, so it stands in as a plain character for the check.
  // Trail bytes are never 0x80 alone, so walking the characters finds only lead bytes.
  std::string checked(text);
  for (std::size_t i = 0; i < checked.size();) {
    const auto byte = static_cast<unsigned char>(checked[i]);
    if (byte == 0x80) checked[i] = '?';
    const bool fourBytes =
        byte > 0x80 && i + 1 < checked.size() && checked[i + 1] >= '0' && checked[i + 1] <= '9';
    i += byte <= 0x80 ? 1 : fourBytes ? 4 : 2;
  }
  TIconv conv("UTF-8", "GB18030");
  return conv.FirstInvalid(checked);
}

std::string PayloadToUtf8(std::string_view payload) {
  TIconv conv("UTF-8", "GB18030");
  return conv.Convert(payload, "\xEF\xBF\xBD");
}

std::string EscapeForTerminal(std::string_view utf8, std::size_t& escaped) {
  std::string out;
  out.reserve(utf8.size());
  escaped = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const bool lineEnd = byte == '\n' || byte == '\t' ||
                         (byte == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n');
    if ((byte < 0x20 && !lineEnd) || byte == 0x7F) {
      out += '^';
      out += static_cast<char>(byte ^ 0x40);
      ++escaped;
    } else if (byte == 0xC2 && i + 1 < utf8.size() &&
               static_cast<unsigned char>(utf8[i + 1]) < 0xA0 &&
               static_cast<unsigned char>(utf8[i + 1]) >= 0x80) {
      char shown[16];
      std::snprintf(shown, sizeof shown, "<U+%04X>", static_cast<unsigned char>(utf8[++i]));
      out += shown;
      ++escaped;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace pennacrow
