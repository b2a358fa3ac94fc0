// libFuzzer target: TPCDGraphic must turn any input into a picture or a clean error.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

#include "formats/PCDGraphic.h"
#include "picture/PixelLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pennacrow::SetPixelLimits({65536, 64u << 20});
  pennacrow::TPCDGraphic graphic;
  try {
    graphic.LoadFromBytes(std::span<const std::uint8_t>(data, size));
  } catch (const std::exception&) {
  }
  return 0;
}
