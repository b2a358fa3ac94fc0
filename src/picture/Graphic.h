#pragma once
// TGraphic: the interface every picture class implements, and TGraphicClass, the class
// reference the format registry stores so that it can create a decoder by extension and tell
// which classes derive from which.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "text/Translate.h"

namespace pennacrow {

class TBitmap;
class TGraphic;

struct TGraphicClass {
  const char* Name;                       // "TBitmap", "TJPEGImage", ...
  const TGraphicClass* Parent;            // nullptr only for TGraphic itself
  std::unique_ptr<TGraphic> (*Create)();  // nullptr for abstract classes

  bool InheritsFrom(const TGraphicClass& base) const;
};

class TGraphic {
 public:
  static const TGraphicClass ClassInfo;

  TGraphic() = default;
  TGraphic(const TGraphic&) = default;
  TGraphic& operator=(const TGraphic&) = default;
  virtual ~TGraphic() = default;

  virtual const TGraphicClass& ClassType() const = 0;

  // Decodes a whole file held in memory. Damaged or unsupported content raises
  // EInvalidGraphicFormat with the format's message.
  virtual void LoadFromBytes(std::span<const std::uint8_t> data) = 0;
  // Reads the file and decodes it; classes that need the file's name (a palette file beside it)
  // override this.
  virtual void LoadFromFile(const std::string& fileName);

  // Rows on demand, for a reader that needs only the top of a picture: decodes the first
  // rowCount rows (top row first) into the picture's bitmap, which then holds at least that
  // many rows (a file that cannot be read in part gives them all) or all of them when the
  // picture has fewer. Returns the whole picture's height from its header. Nothing when the class
  // decodes only whole pictures; the caller then loads the file. A file that ends after the rows
  // asked for still gives them.
  virtual std::optional<int> LoadFirstRows(const std::string& fileName, int rowCount) {
    (void)fileName;
    (void)rowCount;
    return std::nullopt;
  }

  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // The copy path of a load: the bitmap this picture is or renders itself into. nullptr for a
  // picture that can only draw itself (icons, metafiles). May raise when pixels decode late.
  virtual const TBitmap* GetBitmap() { return nullptr; }

  // The fallback path: draws the picture at (0, 0) at natural size onto a 24-bit canvas;
  // transparent pixels leave the canvas as it was.
  virtual void Draw(TBitmap& canvas) const;
};

// Reads a whole file; EFileError with the system's reason when it cannot, or when it holds more
// than maxBytes (then at most maxBytes + 1 bytes are read, so a device or an endless pipe cannot
// exhaust memory). kind names the file in that message ("文本文件"), translated there.
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName,
                                        std::uint64_t maxBytes = UINT64_MAX,
                                        const char* kind = N_("文件"));

// The first bytes of a file (fewer when it is shorter), for recognising its format.
std::vector<std::uint8_t> ReadFileStart(const std::string& fileName, std::size_t bytes);

// Reads a picture file for a decoder. A file larger than the pixel byte limit allows, or one that
// is not a regular file (a FIFO, a device), is refused before anything is read; a caller that
// means standard input passes allowStream.
std::vector<std::uint8_t> ReadPictureFile(const std::string& fileName, bool allowStream = false);

// A picture file read in parts, for the decoders that read only what their rows need. Opened
// with ReadPictureFile's checks: regular files within the pixel byte limit.
class TPictureFile {
 public:
  explicit TPictureFile(const std::string& fileName);
  TPictureFile(const TPictureFile&) = delete;
  TPictureFile& operator=(const TPictureFile&) = delete;
  ~TPictureFile();

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

// A picture's bytes read front to back, from memory or from a picture file through a small
// buffer, for the decoders whose libraries pull their input as they go (libpng, libjpeg,
// libnetpbm): a whole load from a file then holds the buffer beside the bitmap, not the file,
// and a read of the first rows reads little more than the bytes they take.
class TByteStream {
 public:
  explicit TByteStream(std::span<const std::uint8_t> data) : FData(data), FSize(data.size()) {}
  explicit TByteStream(const TPictureFile& file) : FFile(&file), FSize(file.Size()) {}
  TByteStream(const TByteStream&) = delete;
  TByteStream& operator=(const TByteStream&) = delete;

  std::uint64_t Size() const { return FSize; }
  // Bytes handed out or skipped so far.
  std::uint64_t Position() const { return FPosition; }
  // Exactly length bytes at offset, wherever the stream stands; false where the data ends first.
  bool ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t length) const;
  // The next bytes, at most maxBytes of them, and the stream moves past them; empty at the end.
  // The view holds until the next call.
  std::span<const std::uint8_t> Next(std::size_t maxBytes);
  // Moves past count bytes, or to the end.
  void Skip(std::uint64_t count);

 private:
  std::span<const std::uint8_t> FData;
  const TPictureFile* FFile = nullptr;
  std::uint64_t FSize = 0;
  std::uint64_t FPosition = 0;
  std::vector<std::uint8_t> FBuffer;  // the file's bytes from FBufferStart on
  std::uint64_t FBufferStart = 0;
};

// Runs decode on the first part of the file and, while it fails because the data ended
// (EInvalidGraphicFormat of kind Truncated), on a part four times as large, up to the whole
// file, whose failure is the answer. For formats whose top rows come first in the file, so that
// reading the top of a large picture costs the top of its file. A caller that wants every row
// (rowCount INT_MAX, a whole load) gets the whole file at once, decoded once.
int DecodeFilePrefix(const std::string& fileName, int rowCount,
                     const std::function<int(std::span<const std::uint8_t>)>& decode);

// How a file is written.
struct TWriteOptions {
  // Permissions of a file that did not exist, before the umask: 0600 for a file that holds a
  // revealed or decrypted text. A file that existed keeps its own mode (and owner where the
  // system allows it).
  unsigned NewFileMode = 0666;
  // Runs on the complete temporary file before it replaces the target; an exception removes
  // the temporary file and leaves the target as it was. Not called for a target written in
  // place (a device or a FIFO), which cannot be read back.
  std::function<void(const std::string& tempName)> Check;
};

// Writes bytes to a file atomically: a temporary file beside the target is written, flushed and
// renamed over it, so a failing save never destroys the file that was there. A symbolic link
// is kept and the file it points to is replaced; a target that is not a regular file (a device,
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

// Temporary files being written, kept where a signal handler can find them: a front end that
// dies of SIGINT or SIGTERM calls RemoveTempFiles from its handler so that no half-written file
// is left beside the target. Safe to call from a signal handler.
void RemoveTempFiles() noexcept;

}  // namespace pennacrow
