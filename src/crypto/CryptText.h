#pragma once
// The text operations of the encryption dialog and the CLI: a text's ArmouredText under a
// password, and back. Password and text are byte strings in the payload code page.

#include <string>

namespace pennacrow {

// Base64 of the RC4 encryption of text, keyed by the SHA-1 digest of password.
std::string EncryptTextWithPassword(const std::string& password, const std::string& text);
// The inverse. A wrong password gives nonsense of the right length, not an error.
std::string DecryptTextWithPassword(const std::string& password, const std::string& armoured);

}  // namespace pennacrow
