#include "base/Translate.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "base/Catalogue.h"

namespace pennacrow {

namespace {

std::optional<TLanguage>& LanguageOverride() {
  static std::optional<TLanguage> language;
  return language;
}

// "en_GB.UTF-8" → "en"; "zh" → "zh".
std::string_view LanguageCode(std::string_view locale) {
  return locale.substr(0, locale.find_first_of("_.@"));
}

std::optional<TLanguage> KnownLanguage(std::string_view locale) {
  const std::string_view code = LanguageCode(locale);
  if (code == "en") return TLanguage::English;
  if (code == "zh") return TLanguage::Chinese;
  return std::nullopt;
}

std::string_view NonEmpty(const char* value) {
  return value ? value : "";
}

// The catalogue is a GNU .mo file (msgfmt's output) held in memory: a header of 32-bit words,
// then two tables of (length, offset) pairs, originals sorted and translations in the same order.
class TCatalogue {
 public:
  TCatalogue(const unsigned char* data, std::size_t size) : FData(data), FSize(size) {
    if (size < 28) return;
    const std::uint32_t magic = Word(0);
    if (magic == 0x950412de) {
      FSwapped = false;
    } else if (magic == 0xde120495) {
      FSwapped = true;
    } else {
      return;
    }
    const std::uint32_t count = Word(8), originals = Word(12), translations = Word(16);
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto original = Entry(originals + 8u * i);
      const auto translation = Entry(translations + 8u * i);
      if (!original || !translation || original->empty() || translation->empty()) continue;
      FMessages.emplace(*original, *translation);
    }
  }

  const std::string_view* Find(std::string_view text) const {
    const auto it = FMessages.find(text);
    return it == FMessages.end() ? nullptr : &it->second;
  }

 private:
  std::uint32_t Word(std::size_t offset) const {
    if (offset > FSize || FSize - offset < 4) return 0;
    std::uint32_t value;
    std::memcpy(&value, FData + offset, 4);
    return FSwapped ? __builtin_bswap32(value) : value;
  }

  std::optional<std::string_view> Entry(std::size_t at) const {
    const std::uint32_t length = Word(at), offset = Word(at + 4);
    if (offset > FSize || FSize - offset <= length) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(FData + offset), length);
  }

  const unsigned char* FData;
  std::size_t FSize;
  bool FSwapped = false;
  std::unordered_map<std::string_view, std::string_view> FMessages;
};

const TCatalogue& EnglishCatalogue() {
  static const TCatalogue catalogue(kEnglishCatalogue, kEnglishCatalogueSize);
  return catalogue;
}

struct TErrnoText {
  int Error;
  const char* Text;
};

const TErrnoText kErrnoTexts[] = {
    {ENOENT, N_("没有那个文件或目录")}, {EACCES, N_("权限不够")},
    {EISDIR, N_("是一个目录")},         {ENOSPC, N_("设备上没有空间")},
    {EROFS, N_("只读文件系统")},        {ENAMETOOLONG, N_("文件名太长")},
    {EEXIST, N_("文件已存在")},         {ENOTDIR, N_("不是目录")},
    {EIO, N_("输入/输出错误")},
};

}  // namespace

TLanguage LanguageFromEnvironment(const char* (*getenv)(const char*)) {
  const std::string_view forced = NonEmpty(getenv("PENNACROW_LANG"));
  if (const auto language = KnownLanguage(forced)) return *language;
  std::string_view locale = NonEmpty(getenv("LC_ALL"));
  if (locale.empty()) locale = NonEmpty(getenv("LC_MESSAGES"));
  if (locale.empty()) locale = NonEmpty(getenv("LANG"));
  // gettext ignores LANGUAGE in the C locale, and so do we: C means the program's own language.
  if (locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) {
    return TLanguage::Chinese;
  }
  // LANGUAGE is a list of preferences; the first one we have wins.
  std::string_view list = NonEmpty(getenv("LANGUAGE"));
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    if (const auto language = KnownLanguage(list.substr(0, colon))) return *language;
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
  }
  return KnownLanguage(locale).value_or(TLanguage::Chinese);
}

TLanguage CurrentLanguage() {
  static const TLanguage fromEnvironment =
      LanguageFromEnvironment([](const char* name) -> const char* { return std::getenv(name); });
  return LanguageOverride().value_or(fromEnvironment);
}

void SetLanguage(TLanguage language) {
  LanguageOverride() = language;
}

bool HasTranslation(const char* text) {
  return EnglishCatalogue().Find(text) != nullptr;
}

std::string Tr(const char* text) {
  if (CurrentLanguage() == TLanguage::English) {
    if (const std::string_view* english = EnglishCatalogue().Find(text)) {
      return std::string(*english);
    }
  }
  return text;
}

std::string FormatMessage(std::string_view pattern,
                          std::initializer_list<std::string_view> values) {
  std::string out;
  out.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const std::size_t n = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (n < values.size()) {
        out += *(values.begin() + n);
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string TrF(const char* text, std::initializer_list<std::string_view> values) {
  return FormatMessage(Tr(text), values);
}

std::string SystemErrorText(int error) {
  for (const TErrnoText& entry : kErrnoTexts) {
    if (entry.Error == error) return Tr(entry.Text);
  }
  return std::strerror(error);
}

}  // namespace pennacrow
