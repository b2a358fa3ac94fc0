#include "base/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "base/Error.h"
#include "base/LargeBuffer.h"
#include "base/TempFile.h"

namespace pennacrow {

namespace {

// what is a message with %1 for the file's name.
std::string SystemError(const char* what, const std::string& fileName, int error) {
  return TrF(what, {fileName}) + Tr("：") + SystemErrorText(error);
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

namespace {

constexpr const char* kWriteError = N_("无法写入文件 %1");

std::string TooLargeMessage(const char* kind, const std::string& fileName, std::uint64_t limit) {
  return TrF("%1 %2 太大：最多只能读取 %3 字节", {Tr(kind), fileName, std::to_string(limit)});
}

// Bytes read beyond a file's stated size; left uninitialised so that only what is read is
// touched.
struct TPiece {
  std::unique_ptr<std::uint8_t[]> Bytes;
  std::size_t Size = 0;
  std::size_t Used = 0;
  static TPiece Sized(std::uint64_t size) {
    const auto n = static_cast<std::size_t>(size);
    return {std::unique_ptr<std::uint8_t[]>(new std::uint8_t[n]), n, 0};
  }
};

std::vector<std::uint8_t> ReadFile(const std::string& fileName, std::uint64_t maxBytes,
                                   const char* kind, bool regularOnly) {
  // O_NONBLOCK: opening a FIFO that nobody writes must not hang before we can refuse it.
  TFileDescriptor fd(
      ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0)));
  if (fd.Get() < 0) throw EFileError(SystemError(N_("无法打开文件 %1"), fileName, errno));
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0)
    throw EFileError(SystemError(N_("无法读取文件 %1"), fileName, errno));
  if (S_ISDIR(info.st_mode)) throw EFileError(SystemError(N_("无法读取文件 %1"), fileName, EISDIR));
  if (regularOnly && !S_ISREG(info.st_mode)) {
    throw EFileError(TrF("%1 %2 不是普通文件（设备或管道），不能读取", {Tr(kind), fileName}));
  }
  if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    throw EFileError(TooLargeMessage(kind, fileName, maxBytes));
  }
  // Read straight into the result, as large as fstat says. What comes beyond that (a pipe, a
  // device, a file that grows) goes into pieces, each as large as all before it, so that a
  // stream read up to the limit holds its bytes once and is refused as soon as it passes it.
  const auto expected = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  std::vector<std::uint8_t> data = LargeZeroBuffer(static_cast<std::size_t>(expected));
  std::vector<TPiece> pieces;
  std::uint64_t used = 0;
  for (;;) {
    const bool inData = used < data.size();
    if (!inData && (pieces.empty() || pieces.back().Used == pieces.back().Size)) {
      // One byte past the limit is enough to know it was passed.
      const std::uint64_t size = std::clamp<std::uint64_t>(used - data.size(), 1 << 16, 64 << 20);
      pieces.push_back(TPiece::Sized(maxBytes - used >= size ? size : maxBytes - used + 1));
    }
    std::uint8_t* const into =
        inData ? data.data() + used : pieces.back().Bytes.get() + pieces.back().Used;
    const std::size_t room = inData ? data.size() - static_cast<std::size_t>(used)
                                    : pieces.back().Size - pieces.back().Used;
    const ssize_t n = ::read(fd.Get(), into, room);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EFileError(SystemError(N_("无法读取文件 %1"), fileName, errno));
    }
    if (n == 0) break;
    if (!inData) pieces.back().Used += static_cast<std::size_t>(n);
    used += static_cast<std::uint64_t>(n);
    if (used > maxBytes) throw EFileError(TooLargeMessage(kind, fileName, maxBytes));
  }
  if (pieces.empty()) {
    data.resize(static_cast<std::size_t>(used));
    return data;
  }
  data.reserve(static_cast<std::size_t>(used));
  for (TPiece& piece : pieces) {
    data.insert(data.end(), piece.Bytes.get(), piece.Bytes.get() + piece.Used);
    piece.Bytes.reset();
  }
  return data;
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName, std::uint64_t maxBytes,
                                        const char* kind) {
  return ReadFile(fileName, maxBytes, kind, false);
}

std::vector<std::uint8_t> ReadRegularFile(const std::string& fileName, std::uint64_t maxBytes,
                                          const char* kind) {
  return ReadFile(fileName, maxBytes, kind, true);
}

std::vector<std::uint8_t> ReadFileStart(const std::string& fileName, std::size_t bytes) {
  TFileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) throw EFileError(SystemError(N_("无法打开文件 %1"), fileName, errno));
  std::vector<std::uint8_t> head(bytes);
  std::size_t used = 0;
  while (used < bytes) {
    const ssize_t n = ::read(fd.Get(), head.data() + used, bytes - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFileError(SystemError(N_("无法读取文件 %1"), fileName, errno));
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  head.resize(used);
  return head;
}

TFileReader::TFileReader(const std::string& fileName, std::uint64_t maxBytes, const char* kind)
    : FName(fileName) {
  TFileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) throw EFileError(SystemError(N_("无法打开文件 %1"), fileName, errno));
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0)
    throw EFileError(SystemError(N_("无法读取文件 %1"), fileName, errno));
  if (S_ISDIR(info.st_mode)) throw EFileError(SystemError(N_("无法读取文件 %1"), fileName, EISDIR));
  if (!S_ISREG(info.st_mode)) {
    throw EFileError(TrF("%1 %2 不是普通文件（设备或管道），不能读取", {Tr(kind), fileName}));
  }
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    throw EFileError(TooLargeMessage(kind, fileName, maxBytes));
  }
  FSize = static_cast<std::uint64_t>(info.st_size);
  FFd = fd.Release();
}

TFileReader::~TFileReader() {
  if (FFd >= 0) ::close(FFd);
}

std::vector<std::uint8_t> TFileReader::Read(std::uint64_t offset, std::uint64_t length) const {
  if (offset >= FSize) return {};
  std::vector<std::uint8_t> data(static_cast<std::size_t>(std::min(length, FSize - offset)));
  data.resize(ReadSome(offset, data.data(), data.size()));
  return data;
}

bool TFileReader::ReadInto(std::uint64_t offset, std::uint8_t* out, std::size_t length) const {
  return ReadSome(offset, out, length) == length;
}

std::size_t TFileReader::ReadSome(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t length) const {
  std::size_t used = 0;
  while (used < length) {
    const ssize_t n = ::pread(FFd, out + used, length - used, static_cast<off_t>(offset + used));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFileError(SystemError(N_("无法读取文件 %1"), FName, errno));
    if (n == 0) break;  // the file ends here, or shrank meanwhile: what is there is all there is
    used += static_cast<std::size_t>(n);
  }
  return used;
}

namespace {

// Follows symbolic links to the file that is to be replaced; the name itself when it is no link
// or does not exist.
std::string ResolveLinks(const std::string& fileName) {
  std::string path = fileName;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) throw EFileError(SystemError(kWriteError, fileName, errno));
    link.resize(static_cast<std::size_t>(n));
    if (link.empty() || link[0] != '/') {
      const auto slash = path.rfind('/');
      link = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
    }
    path = link;
  }
  throw EFileError(SystemError(kWriteError, fileName, ELOOP));
}

// The process's umask, read without changing it: setting it to learn it would race with any
// other thread creating a file meanwhile.
mode_t CurrentUmask() {
  std::FILE* status = std::fopen("/proc/self/status", "re");
  if (status == nullptr) return 022;
  char line[256];
  unsigned mask = 022;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
  }
  std::fclose(status);
  return static_cast<mode_t>(mask & 0777);
}

// Hands the pieces to the descriptor, gathered into blocks of a megabyte so that the system is
// called once per block; a piece that fills a block by itself goes out directly.
class TBlockWriter : public TFileSink {
 public:
  // seekable: the descriptor is a regular file of our own, so bytes already written may be
  // overwritten at their offset.
  TBlockWriter(int fd, const std::string& fileName, bool seekable)
      : FFd(fd), FFileName(fileName), FSeekable(seekable) {}

  void Put(std::span<const std::uint8_t> piece) override {
    if (FBlock.size() + piece.size() > kBlock && !FBlock.empty()) Flush();
    if (piece.size() >= kBlock) {
      WriteAll(piece.data(), piece.size());
      return;
    }
    if (FBlock.capacity() < kBlock) FBlock.reserve(kBlock);
    FBlock.insert(FBlock.end(), piece.begin(), piece.end());
  }

  std::uint64_t Written() const override { return FFlushed + FBlock.size(); }
  bool CanPatch() const override { return FSeekable; }

  void Patch(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (!FSeekable || offset > Written() || bytes.size() > Written() - offset) {
      throw std::logic_error("patch outside the written file");
    }
    if (offset >= FFlushed) {
      std::memcpy(FBlock.data() + (offset - FFlushed), bytes.data(), bytes.size());
      return;
    }
    // The range starts in what the file already holds: write out the block so that the whole
    // range is on disk, then overwrite it there without moving the file position.
    Flush();
    const std::uint8_t* data = bytes.data();
    std::size_t size = bytes.size();
    auto at = static_cast<off_t>(offset);
    while (size > 0) {
      const ssize_t n = ::pwrite(FFd, data, size, at);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EFileError(SystemError(kWriteError, FFileName, errno));
      }
      data += n;
      at += n;
      size -= static_cast<std::size_t>(n);
    }
  }

  void Flush() {
    WriteAll(FBlock.data(), FBlock.size());
    FBlock.clear();
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  void WriteAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(FFd, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EFileError(SystemError(kWriteError, FFileName, errno));
      }
      data += n;
      FFlushed += static_cast<std::uint64_t>(n);
      size -= static_cast<std::size_t>(n);
    }
  }

  int FFd;
  const std::string& FFileName;
  bool FSeekable;
  std::uint64_t FFlushed = 0;
  std::vector<std::uint8_t> FBlock;
};

void Produce(int fd, const std::string& fileName, bool seekable,
             const std::function<void(TFileSink&)>& produce) {
  TBlockWriter writer(fd, fileName, seekable);
  produce(writer);
  writer.Flush();
}

// A device or a FIFO: renaming a regular file over it would replace the device node itself.
void WriteInPlace(const std::string& target, const std::string& fileName,
                  const std::function<void(TFileSink&)>& produce) {
  TFileDescriptor fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (fd.Get() < 0) throw EFileError(SystemError(kWriteError, fileName, errno));
  Produce(fd.Get(), fileName, false, produce);
  if (::close(fd.Release()) != 0) throw EFileError(SystemError(kWriteError, fileName, errno));
}

}  // namespace

void WriteFileAtomically(const std::string& fileName, std::span<const std::uint8_t> data,
                         const TWriteOptions& options) {
  WriteFileAtomically(
      fileName, [data](const TByteSink& sink) { sink(data); }, options);
}

void WriteFileAtomically(const std::string& fileName,
                         const std::function<void(const TByteSink&)>& produce,
                         const TWriteOptions& options) {
  WriteFilePatchable(
      fileName,
      [&produce](TFileSink& sink) {
        produce([&sink](std::span<const std::uint8_t> piece) { sink.Put(piece); });
      },
      options);
}

void WriteFilePatchable(const std::string& fileName, const std::function<void(TFileSink&)>& produce,
                        const TWriteOptions& options) {
  const std::string target = ResolveLinks(fileName);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode)) {
    WriteInPlace(target, fileName, produce);
    return;
  }

  // The temporary file is 0600 until it is complete, whatever it will hold.
  TTempFile temp(target, fileName);
  const int fd = temp.Descriptor();
  Produce(fd, fileName, true, produce);
  if (::fsync(fd) != 0) throw EFileError(SystemError(kWriteError, fileName, errno));
  if (options.Check) options.Check(temp.ReadableName(), target);
  mode_t mode = static_cast<mode_t>(options.NewFileMode) & ~CurrentUmask();
  if (exists) {
    mode = existing.st_mode & 0777;
    // Only root may give a file away; anyone may keep a group they belong to. Where neither
    // is allowed the file becomes ours, with the old mode.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      if (::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
        // Not a member of the group either: the file keeps ours.
      }
    }
  }
  if (::fchmod(fd, mode) != 0) throw EFileError(SystemError(kWriteError, fileName, errno));
  temp.Replace();
}

}  // namespace pennacrow
