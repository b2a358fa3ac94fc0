#include "picture/Graphic.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/LargeBuffer.h"

namespace pennacrow {

const TGraphicClass TGraphic::ClassInfo{"TGraphic", nullptr, nullptr};

bool TGraphicClass::InheritsFrom(const TGraphicClass& base) const {
  for (const TGraphicClass* c = this; c != nullptr; c = c->Parent) {
    if (c == &base) return true;
  }
  return false;
}

void TGraphic::LoadFromFile(const std::string& fileName) {
  const std::vector<std::uint8_t> data = ReadWholeFile(fileName);
  LoadFromBytes(data);
}

void TGraphic::Draw(TBitmap& canvas) const {
  // Pictures that are not bitmaps override this; a bitmap draws through TBitmap::Draw.
  (void)canvas;
}

namespace {

std::string SystemError(const std::string& what, const std::string& fileName, int error) {
  return what + " " + fileName + "：" + std::strerror(error);
}

// Closes a descriptor on every path.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd) : FFd(fd) {}
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  ~TFileDescriptor() {
    if (FFd >= 0) ::close(FFd);
  }
  int Get() const { return FFd; }
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

 private:
  int FFd;
};

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName) {
  TFileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) throw EFileError(SystemError("无法打开文件", fileName, errno));
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) throw EFileError(SystemError("无法读取文件", fileName, errno));
  if (S_ISDIR(info.st_mode)) throw EFileError(SystemError("无法读取文件", fileName, EISDIR));
  // Read straight into the result, as large as fstat says; a file that turns out longer (one
  // that grows, a device) goes on through a small buffer.
  std::vector<std::uint8_t> data =
      LargeZeroBuffer(info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0);
  std::size_t used = 0;
  std::uint8_t extra[1 << 16];
  for (;;) {
    const bool full = used == data.size();
    const ssize_t n = full ? ::read(fd.Get(), extra, sizeof extra)
                           : ::read(fd.Get(), data.data() + used, data.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EFileError(SystemError("无法读取文件", fileName, errno));
    }
    if (n == 0) break;
    if (full) data.insert(data.end(), extra, extra + n);
    used += static_cast<std::size_t>(n);
  }
  data.resize(used);
  return data;
}

void WriteFileAtomically(const std::string& fileName, std::span<const std::uint8_t> data) {
  WriteFileAtomically(fileName, [data](const TByteSink& sink) { sink(data); });
}

void WriteFileAtomically(const std::string& fileName,
                         const std::function<void(const TByteSink&)>& produce) {
  std::string temp = fileName + ".XXXXXX";
  TFileDescriptor fd(::mkstemp(temp.data()));
  if (fd.Get() < 0) throw EFileError(SystemError("无法创建文件", fileName, errno));
  bool removed = false;
  auto fail = [&](int error) {
    ::unlink(temp.c_str());
    removed = true;
    throw EFileError(SystemError("无法写入文件", fileName, error));
  };
  auto writeAll = [&](const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd.Get(), data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        fail(errno);
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  };
  // Small pieces (a header, a row) are gathered so that the system is called once per
  // megabyte; a piece that fills the block by itself goes out directly.
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::vector<std::uint8_t> block;
  const TByteSink sink = [&](std::span<const std::uint8_t> piece) {
    if (block.size() + piece.size() > kBlock && !block.empty()) {
      writeAll(block.data(), block.size());
      block.clear();
    }
    if (piece.size() >= kBlock) {
      writeAll(piece.data(), piece.size());
      return;
    }
    if (block.capacity() < kBlock) block.reserve(kBlock);
    block.insert(block.end(), piece.begin(), piece.end());
  };
  try {
    produce(sink);
  } catch (...) {
    if (!removed) ::unlink(temp.c_str());
    throw;
  }
  writeAll(block.data(), block.size());
  // mkstemp creates the file 0600; a saved picture gets the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd.Get(), 0666 & ~mask) != 0) fail(errno);
  if (::fsync(fd.Get()) != 0) fail(errno);
  if (::close(fd.Release()) != 0) fail(errno);
  if (::rename(temp.c_str(), fileName.c_str()) != 0) fail(errno);
}

}  // namespace pennacrow
