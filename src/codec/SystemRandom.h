#pragma once
// Random bytes from the system's random source (getrandom), for choices that must not be
// predictable from the picture or the time.

#include <cstddef>
#include <cstdint>

namespace pennacrow {

// Fills the buffer; raises EPennacrowError when the system cannot give random bytes.
void FillFromSystem(std::uint8_t* buffer, std::size_t size);

}  // namespace pennacrow
