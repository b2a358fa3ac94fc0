#pragma once
// The program's messages are written in Simplified Chinese, its own language; po/en.po holds
// their English translations, keyed by the Chinese text. The catalogue is compiled into the
// program, so English works whether or not the machine has an English locale generated.
//
// Mark a message with Tr("…") where it is shown, TrF("…%1…", value) when it carries values
// (placeholders %1 … %9, which a translation may reorder), and N_("…") in a table whose entries
// are translated later with Tr. xgettext finds all three; a test compares them with po/en.po.

#include <initializer_list>
#include <string>
#include <string_view>

#define N_(text) text

namespace pennacrow {

enum class TLanguage { Chinese, English };

// The user's language: PENNACROW_LANG (zh or en) if set, else LANGUAGE, LC_ALL, LC_MESSAGES and
// LANG as gettext reads them. C, POSIX, unset and languages we do not have give Chinese.
TLanguage CurrentLanguage();
// Overrides the environment's choice for the rest of the process (tests, --lang style options).
void SetLanguage(TLanguage language);
// The choice a given environment makes; getenv stands in for the process's environment.
TLanguage LanguageFromEnvironment(const char* (*getenv)(const char*));

// The message in the user's language; text is the Chinese original.
std::string Tr(const char* text);
// Tr, then each %n replaced by the n-th value.
std::string TrF(const char* text, std::initializer_list<std::string_view> values);
// Replaces %1 … %9 in pattern by values (no translation).
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> values);

// Whether the catalogue has a translation for text (the completeness test asks).
bool HasTranslation(const char* text);

// An operating-system error in the user's language: our own words for the common errno values,
// the C library's text otherwise.
std::string SystemErrorText(int error);

}  // namespace pennacrow
