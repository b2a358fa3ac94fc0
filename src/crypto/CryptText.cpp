#include "crypto/CryptText.h"

#include "crypto/CryptRc4.h"
#include "crypto/CryptSha1.h"

namespace pennacrow {

// A fresh cipher per text, one call each: the result is the standard RC4 of the whole text. The
// cipher wipes its key when it goes out of scope, whether the call succeeded or not.

std::string EncryptTextWithPassword(const std::string& password, const std::string& text) {
  TCryptRc4 cipher;
  cipher.SetKeyFromPassword(password, TCryptSha1::Class());
  std::string armoured = cipher.EncryptText(text);
  cipher.Wipe();
  return armoured;
}

std::string DecryptTextWithPassword(const std::string& password, const std::string& armoured) {
  TCryptRc4 cipher;
  cipher.SetKeyFromPassword(password, TCryptSha1::Class());
  std::string text = cipher.DecryptText(armoured);
  cipher.Wipe();
  return text;
}

}  // namespace pennacrow
