// Sealed payloads as a reader finds them in a picture. Bytes of a format 4 container read back
// as written and are refused by the opener with our own error, before a damaged header can make
// the key derivation expensive. A seal made from the input (with the cheapest key derivation)
// opens to its content, one changed byte makes it refuse, and a picture cut short of its length
// holds no seal.
#include <string>

#include "FuzzHarness.h"
#include "codec/Container.h"
#include "codec/SealedContainer.h"
#include "crypto/Sealed.h"

using namespace pennacrow;

namespace {

// A picture just tall enough for payload as a format 4 container.
TBitmap SealedPicture(const std::string& payload) {
  const int height = static_cast<int>((24 + 8 * payload.size() + 63) / 64);
  TBitmap bitmap(64, height, 24);
  HideText(bitmap, {payload, kFormatSealed});
  return bitmap;
}

// Opens payload, which the caller expects to be refused; any accepted key derivation parameters
// are brought down to the cheapest, which cannot make a payload open that would not otherwise.
void ExpectRefused(std::string payload) {
  if (payload.size() > 2 && static_cast<std::uint8_t>(payload[1]) >= 1 &&
      static_cast<std::uint8_t>(payload[1]) <= 16 && static_cast<std::uint8_t>(payload[2]) >= 13 &&
      static_cast<std::uint8_t>(payload[2]) <= 30) {
    payload[1] = static_cast<char>(MinimumSealParameters().OpsLimit);
    payload[2] = static_cast<char>(MinimumSealParameters().MemLimitLog2);
  }
  try {
    OpenSealedPayload("password", payload);
    FUZZ_REQUIRE(!"a payload nobody sealed opened");
  } catch (const ESealOpen&) {
  } catch (const std::exception& e) {
    fuzz::Unexpected(e);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::TInput in(data, size);
  const std::uint8_t mode = in.Byte();
  const std::uint8_t at = in.Byte();
  const auto rest = in.Rest();
  const std::string bytes(rest.begin(), rest.end());
  if (bytes.size() > 65535) return 0;
  if ((mode & 1) == 0) {
    FUZZ_REQUIRE(ReadSealedPayload(SealedPicture(bytes)) == bytes);
    ExpectRefused(bytes);
    return 0;
  }
  // A file's name is the input up to its first zero byte; a text has none.
  TSealedContent content;
  if (mode & 2) {
    content.Kind = TSealedKind::File;
    content.Name = bytes.substr(0, bytes.find('\0'));
    content.Bytes = bytes.substr(std::min(bytes.size(), content.Name.size() + 1));
  } else {
    content.Bytes = bytes;
  }
  std::string sealed;
  try {
    sealed = SealPayload("password", content, MinimumSealParameters());
  } catch (const ESealedName&) {
    bool refused = false;
    try {
      CheckSealedFileName(content.Name);
    } catch (const ESealedName&) {
      refused = true;
    }
    FUZZ_REQUIRE(refused);
    return 0;
  } catch (const std::exception& e) {
    fuzz::Unexpected(e);
  }
  if (sealed.size() > 65535) return 0;
  TBitmap picture = SealedPicture(sealed);
  try {
    FUZZ_REQUIRE(OpenSealedPayload("password", ReadSealedPayload(picture)) == content);
  } catch (const std::exception& e) {
    fuzz::Unexpected(e);
  }
  // Any byte but the key derivation's parameters, which ExpectRefused would bring back.
  std::string changed = sealed;
  const std::size_t index = 3 + at % (changed.size() - 3);
  changed[index] = static_cast<char>(changed[index] ^ (mode | 1));
  ExpectRefused(changed);
  // Rows cut off below the container's last byte: its length runs past the picture.
  picture.SetSize(picture.Width(), picture.Height() - 1);
  try {
    ReadSealedPayload(picture);
    FUZZ_REQUIRE(!"a container longer than its picture was read");
  } catch (const ESealOpen&) {
  }
  return 0;
}
