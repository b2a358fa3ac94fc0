#pragma once
// The live capacity meter: how many bytes the container of a text will take against what the
// picture can hold, so that a user learns while typing that a text will not fit.

#include <cstddef>
#include <cstdint>
#include <string>

namespace pennacrow {

struct TCapacityUse {
  std::int64_t Used = 0;      // 3 header bytes + the text's bytes in the payload code page
  std::int64_t Capacity = 0;  // (width x height) div 8, at most the 3 + 65,535 a write accepts
  bool Fits = false;          // the write command would accept it
};

TCapacityUse MeasureCapacityUse(std::size_t textBytes, int width, int height);

// "已用 1,234 / 625,000 字节".
std::string CapacityUseText(const TCapacityUse& use);

// A number with a comma between each group of three digits.
std::string GroupThousands(std::int64_t value);

}  // namespace pennacrow
