// Base64: decode(encode(x)) = x, and decoding any text neither crashes nor writes past the
// (count / 4) x 3 bytes it promises.
#include <string>
#include <string_view>
#include <vector>

#include "FuzzHarness.h"
#include "crypto/CryptBase64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string encoded = pennacrow::EncodeBase64String(bytes);
  FUZZ_REQUIRE(encoded.size() == 4 * ((size + 2) / 3));
  FUZZ_REQUIRE(pennacrow::DecodeBase64String(encoded) == bytes);

  const std::string decoded = pennacrow::DecodeBase64String(bytes);
  FUZZ_REQUIRE(decoded.size() <= size / 4 * 3);
  // The buffer form into a buffer of exactly the promised size: ASan sees any overrun.
  const auto count = static_cast<std::int32_t>(size);
  std::vector<std::uint8_t> out(size / 4 * 3);
  const std::int32_t written = pennacrow::DecodeBase64Buffer(bytes.data(), out.data(), count);
  FUZZ_REQUIRE(written >= 0 && static_cast<std::size_t>(written) <= out.size());
  FUZZ_REQUIRE(std::string_view(reinterpret_cast<const char*>(out.data()), written) == decoded);
  return 0;
}
