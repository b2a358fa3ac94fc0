#include "adaptive/Workers.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace pennacrow::adaptive {

void RunWorkers(unsigned count, const std::function<void(const std::atomic<bool>& stop)>& work) {
  std::exception_ptr failure;
  std::mutex lock;
  std::atomic<bool> stop{false};
  auto guarded = [&] {
    try {
      work(stop);
    } catch (...) {
      const std::lock_guard<std::mutex> guard(lock);
      if (!failure) failure = std::current_exception();
      stop = true;
    }
  };
  const unsigned threads =
      std::min({count, std::max(1u, std::thread::hardware_concurrency()), kMaxWorkers});
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < threads; ++i) helpers.emplace_back(guarded);
  guarded();
  for (std::thread& t : helpers) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace pennacrow::adaptive
