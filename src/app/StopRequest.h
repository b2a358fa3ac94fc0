#pragma once
// Asking long work on the worker thread to stop early. The GUI thread requests; the work polls
// at points where stopping leaves nothing half done and raises EWorkStopped there, which the
// command that started it takes as "stopped", not as a failure.

#include <atomic>
#include <exception>

namespace pennacrow {

class EWorkStopped : public std::exception {
 public:
  const char* what() const noexcept override { return "stopped on request"; }
};

class TStopRequest {
 public:
  void Request() { FRequested.store(true, std::memory_order_relaxed); }
  bool Requested() const { return FRequested.load(std::memory_order_relaxed); }
  void Checkpoint() const {
    if (Requested()) throw EWorkStopped();
  }

 private:
  std::atomic<bool> FRequested{false};
};

}  // namespace pennacrow
