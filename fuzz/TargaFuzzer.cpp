// libFuzzer target: any bytes given to TTargaGraphic either load or raise our exception.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

#include "formats/TargaGraphic.h"
#include "picture/PixelLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pennacrow::SetPixelLimits({65536, 64u << 20});
  try {
    pennacrow::TTargaGraphic picture;
    picture.LoadFromBytes(std::span<const std::uint8_t>(data, size));
  } catch (const std::exception&) {
  }
  return 0;
}
