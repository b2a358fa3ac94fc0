#pragma once
// Reading and writing files: whole-file reads with a size limit, reads in parts, and atomic
// writes through a sink. Every layer reads or writes files, so this sits at the bottom, beside
// the error type and the messages; failures raise EFileError with the system's reason.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/Translate.h"

namespace pennacrow {

// Reads a whole file; EFileError with the system's reason when it cannot, or when it holds more
// than maxBytes (then at most maxBytes + 1 bytes are read, so a device or an endless pipe cannot
// exhaust memory). kind names the file in that message ("文本文件"), translated there.
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName,
                                        std::uint64_t maxBytes = UINT64_MAX,
                                        const char* kind = N_("文件"));

// The same for a file that must be a regular file: a FIFO or a device is refused before anything
// is read, and opening one does not wait for a writer.
std::vector<std::uint8_t> ReadRegularFile(const std::string& fileName, std::uint64_t maxBytes,
                                          const char* kind);

// The first bytes of a file (fewer when it is shorter), for recognising its format.
std::vector<std::uint8_t> ReadFileStart(const std::string& fileName, std::size_t bytes);

// A regular file read in parts at any offset, for readers that take only what they need. Opened
// with ReadRegularFile's checks; kind names the file in their messages.
class TFileReader {
 public:
  TFileReader(const std::string& fileName, std::uint64_t maxBytes, const char* kind);
  TFileReader(const TFileReader&) = delete;
  TFileReader& operator=(const TFileReader&) = delete;
  ~TFileReader();

  std::uint64_t Size() const { return FSize; }
  // Up to length bytes from offset; fewer where the file ends.
  std::vector<std::uint8_t> Read(std::uint64_t offset, std::uint64_t length) const;
  // Exactly length bytes from offset into out; false when the file ends first.
  bool ReadInto(std::uint64_t offset, std::uint8_t* out, std::size_t length) const;
  // Up to length bytes from offset into out; returns how many, fewer only where the file ends.
  std::size_t ReadSome(std::uint64_t offset, std::uint8_t* out, std::size_t length) const;

 private:
  std::string FName;
  int FFd = -1;
  std::uint64_t FSize = 0;
};

// How a file is written.
struct TWriteOptions {
  // Permissions of a file that did not exist, before the umask: 0600 for a file that holds a
  // revealed or decrypted text. A file that existed keeps its own mode (and owner where the
  // system allows it).
  unsigned NewFileMode = 0666;
  // Runs on the complete temporary file before it replaces the target: written is a name it can
  // be read by, which need not carry the target's extension, so the check goes by the target's.
  // An exception removes the temporary file and leaves the target as it was. Not called for a
  // target written in place (a device or a FIFO), which cannot be read back.
  std::function<void(const std::string& written, const std::string& target)> Check;
};

// Writes bytes to a file atomically: a temporary file beside the target is written, flushed and
// renamed over it, so a failing save never destroys the file that was there, and a killed one
// leaves no temporary file behind (see TTempFile). A symbolic link is
// kept and the file it points to is replaced; a target that is not a regular file (a device,
// a FIFO) is written in place, never renamed over.
void WriteFileAtomically(const std::string& fileName, std::span<const std::uint8_t> data,
                         const TWriteOptions& options = {});

// The same, for a file made of pieces: produce is called once and hands the file's bytes to the
// sink in order, so a large file need not be built in memory first. An exception from produce
// removes the temporary file and leaves the target as it was.
using TByteSink = std::function<void(std::span<const std::uint8_t>)>;
void WriteFileAtomically(const std::string& fileName,
                         const std::function<void(const TByteSink&)>& produce,
                         const TWriteOptions& options = {});

// A sink that may also go back over bytes it was already handed: a format whose header says
// how long the data after it is (a PNG chunk's length) can then be written without holding the
// data in memory first. Only a temporary file can be patched; a device, a FIFO or a pipe cannot
// seek, and a producer that finds CanPatch false must build such a part in memory instead.
class TFileSink {
 public:
  virtual ~TFileSink() = default;
  virtual void Put(std::span<const std::uint8_t> piece) = 0;
  // Bytes handed over so far: the offset the next piece starts at.
  virtual std::uint64_t Written() const = 0;
  virtual bool CanPatch() const = 0;
  // Overwrites bytes already handed over, starting at offset; throws where CanPatch is false or
  // the range goes past what was written.
  virtual void Patch(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
};
void WriteFilePatchable(const std::string& fileName, const std::function<void(TFileSink&)>& produce,
                        const TWriteOptions& options = {});

}  // namespace pennacrow
