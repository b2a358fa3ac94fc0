#pragma once
// Large pixel and file buffers. On this system's virtual machines every first touch of a 4 KiB
// page is a trap that costs more than the work done on the page, and a 12-megapixel picture
// touches tens of thousands of them; asking for the pages up front (huge pages where the
// system allows them) costs one call instead.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pennacrow {

// Advises the system that [data, data + size) is about to be written whole: huge pages where
// available, and the pages made present at once. Only advice: nothing changes if it fails, and
// buffers under a megabyte are left alone.
void PrepareLargeBuffer(void* data, std::size_t size);

// A byte vector of `size` zero bytes, its pages prepared as above.
std::vector<std::uint8_t> LargeZeroBuffer(std::size_t size);

// Resizes a working vector that is kept from one use to the next and written whole after each
// resize; when it must grow, its new memory is prepared as above and the old contents are not
// kept.
template <typename T>
void ResizeLarge(std::vector<T>& buffer, std::size_t size) {
  if (size > buffer.capacity()) {
    std::vector<T> grown;
    grown.reserve(size);
    PrepareLargeBuffer(grown.data(), size * sizeof(T));
    buffer.swap(grown);
  }
  buffer.resize(size);
}

}  // namespace pennacrow
