// The cipher's text operations: decrypting what a password encrypted gives the text back, and
// decrypting any text at all raises at worst one of our errors.
#include <string>

#include "FuzzHarness.h"
#include "crypto/CryptText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pennacrow::fuzz::TInput in(data, size);
  const std::size_t passwordLength = in.Byte() % 33;
  const auto password = in.Take(passwordLength);
  const auto text = in.Rest();
  const std::string pw(password.begin(), password.end());
  const std::string t(text.begin(), text.end());
  try {
    const std::string armoured = pennacrow::EncryptTextWithPassword(pw, t);
    FUZZ_REQUIRE(armoured.size() == 4 * ((t.size() + 2) / 3));
    FUZZ_REQUIRE(pennacrow::DecryptTextWithPassword(pw, armoured) == t);
  } catch (const pennacrow::EPennacrowError&) {
    FUZZ_REQUIRE(!"encryption of a text refused");
  } catch (const std::exception& e) {
    pennacrow::fuzz::Unexpected(e);
  }
  try {
    (void)pennacrow::DecryptTextWithPassword(pw, t);
  } catch (const pennacrow::EPennacrowError&) {
  } catch (const std::exception& e) {
    pennacrow::fuzz::Unexpected(e);
  }
  return 0;
}
