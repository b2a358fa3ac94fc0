#include "base/TempFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <random>

#include "base/Error.h"
#include "base/Translate.h"

namespace pennacrow {

namespace {

constexpr const char* kWriteError = N_("无法写入文件 %1");
constexpr char kPrefix[] = ".pcw";
// A named temporary file this long untouched, whose writer is gone, is a leftover. The wait
// spares the file of a writer on another machine sharing the directory, whose process id means
// nothing here and which keeps its file fresh while it writes.
constexpr std::time_t kStaleSeconds = 10 * 60;

std::string SystemError(const char* what, const std::string& fileName, int error) {
  return TrF(what, {fileName}) + Tr("：") + SystemErrorText(error);
}

// Temporary files with a name. A signal handler may only touch memory that needs no lock, so
// this is a fixed table of paths whose slots are claimed with atomics.
struct TTempSlot {
  std::atomic<int> State{0};  // 0 free, 1 being filled, 2 holds a path
  char Path[PATH_MAX];
};
constexpr int kTempSlots = 16;
TTempSlot gTempSlots[kTempSlots];
static_assert(std::atomic<int>::is_always_lock_free);

// Registered before the name exists, so that no moment exists in which it is on disk and unknown
// to the handler. With every slot taken the name is simply not registered.
int Register(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    int expected = 0;
    if (gTempSlots[i].State.compare_exchange_strong(expected, 1)) {
      std::memcpy(gTempSlots[i].Path, path.c_str(), path.size() + 1);
      gTempSlots[i].State.store(2);
      return i;
    }
  }
  return -1;
}

void Unregister(int& slot) {
  if (slot >= 0) gTempSlots[slot].State.store(0);
  slot = -1;
}

std::string DirectoryOf(const std::string& target) {
  const auto slash = target.rfind('/');
  return slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
}

// A short hidden name in the target's directory (a target name of 250 characters and more must
// still leave room for it) that carries our process id and keeps the target's extension.
std::string TempNameFor(const std::string& target) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  const std::string directory = DirectoryOf(target);
  const std::string base = target.substr(directory.size());
  const auto dot = base.rfind('.');
  const std::string extension =
      dot != std::string::npos && base.size() - dot <= 8 ? base.substr(dot) : "";
  std::string name = kPrefix + std::to_string(::getpid()) + "-";
  for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return directory + name + extension;
}

// The writer's process id in a name of ours, or 0.
pid_t OwnerOf(const char* name) {
  if (std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(name + sizeof kPrefix - 1, &end, 10);
  return end != nullptr && *end == '-' && pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// Removes our own leftover named temporary files from the directory: files of our pattern, ours,
// long untouched, whose writer no longer runs.
void SweepStale(const std::string& directory) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = OwnerOf(entry->d_name);
    if (owner == 0 || (::kill(owner, 0) == 0 || errno != ESRCH)) continue;
    struct stat info {};
    if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && now - info.st_mtime >= kStaleSeconds)
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

std::string DescriptorName(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

TTempFile::TTempFile(const std::string& target, const std::string& fileName)
    : FTarget(target), FFileName(fileName) {
  const std::string directory = DirectoryOf(target);
  SweepStale(directory);
  // Linking a nameless file in later goes through its /proc name.
  if (::access("/proc/self/fd", X_OK) == 0) {
    FFd =
        ::open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  }
  for (int attempt = 0; attempt < 100 && FFd < 0; ++attempt) {
    Unregister(FSlot);
    FName = TempNameFor(target);
    FSlot = Register(FName);
    FFd = ::open(FName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (FFd < 0 && errno != EEXIST) break;
  }
  if (FFd < 0) {
    const int error = errno;
    FName.clear();
    Unregister(FSlot);
    throw EFileError(SystemError(N_("无法创建文件 %1"), fileName, error));
  }
}

TTempFile::~TTempFile() {
  if (FFd >= 0) ::close(FFd);
  if (!FName.empty()) ::unlink(FName.c_str());
  Unregister(FSlot);
}

std::string TTempFile::ReadableName() const {
  return FName.empty() ? DescriptorName(FFd) : FName;
}

// A nameless file gets a name beside the target only now, for the moment between this and the
// rename.
void TTempFile::LinkBesideTarget() {
  const std::string source = DescriptorName(FFd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TempNameFor(FTarget);
    FSlot = Register(name);
    if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      FName = name;
      return;
    }
    const int error = errno;
    Unregister(FSlot);
    if (error != EEXIST) throw EFileError(SystemError(kWriteError, FFileName, error));
  }
  throw EFileError(SystemError(kWriteError, FFileName, EEXIST));
}

void TTempFile::Replace() {
  if (FName.empty()) LinkBesideTarget();
  const int fd = FFd;
  FFd = -1;
  if (::close(fd) != 0) throw EFileError(SystemError(kWriteError, FFileName, errno));
  if (::rename(FName.c_str(), FTarget.c_str()) != 0) {
    throw EFileError(SystemError(kWriteError, FFileName, errno));
  }
  FName.clear();
  Unregister(FSlot);
}

void RemoveTempFiles() noexcept {
  for (TTempSlot& slot : gTempSlots) {
    if (slot.State.load() == 2) ::unlink(slot.Path);
  }
}

}  // namespace pennacrow
