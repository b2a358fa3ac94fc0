#include "picture/FractalRandom.h"

#include <chrono>

namespace pennacrow {

std::uint32_t TimeOfDaySeed() {
  using namespace std::chrono;
  // The system clock counts no leap seconds, so the milliseconds since the epoch modulo one day
  // are exactly the time of day in UTC.
  const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  constexpr std::int64_t kDay = 24 * 60 * 60 * 1000;
  return static_cast<std::uint32_t>(((ms % kDay) + kDay) % kDay);
}

}  // namespace pennacrow
