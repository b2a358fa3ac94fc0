#include "codec/SystemRandom.h"
#include "base/Translate.h"

#include <sys/random.h>

#include <cerrno>

#include "picture/Errors.h"

namespace pennacrow {

void FillFromSystem(std::uint8_t* buffer, std::size_t size) {
  std::size_t filled = 0;
  while (filled < size) {
    const ssize_t got = getrandom(buffer + filled, size - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw EPennacrowError(Tr("无法取得系统随机数"));
    }
    filled += static_cast<std::size_t>(got);
  }
}

}  // namespace pennacrow
