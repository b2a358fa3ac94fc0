#pragma once
// A few threads sharing one job: the writer's costs and segments are independent pieces.

#include <atomic>
#include <functional>

namespace pennacrow::adaptive {

// At most this many threads at once: each segment at work holds about 32 MiB.
inline constexpr unsigned kMaxWorkers = 2;

// Runs work on up to `count` threads, this one among them (never more than the processors or
// kMaxWorkers), and raises here the first exception any of them raised. work takes its pieces
// itself (from an atomic counter) and looks at stop before each: it is set once one failed.
void RunWorkers(unsigned count, const std::function<void(const std::atomic<bool>& stop)>& work);

}  // namespace pennacrow::adaptive
