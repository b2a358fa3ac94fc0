#include "base/LargeBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

namespace pennacrow {

void PrepareLargeBuffer(void* data, std::size_t size) {
  constexpr std::size_t kLarge = std::size_t{1} << 20;
  if (data == nullptr || size < kLarge) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  // madvise wants whole pages: the pages entirely inside the buffer.
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
  if (end <= begin) return;
  void* const start = reinterpret_cast<void*>(begin);
  const std::size_t length = end - begin;
#ifdef MADV_HUGEPAGE
  ::madvise(start, length, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
  ::madvise(start, length, MADV_POPULATE_WRITE);
#endif
}

std::vector<std::uint8_t> LargeZeroBuffer(std::size_t size) {
  std::vector<std::uint8_t> buffer;
  buffer.reserve(size);
  PrepareLargeBuffer(buffer.data(), size);
  buffer.resize(size);
  return buffer;
}

}  // namespace pennacrow
