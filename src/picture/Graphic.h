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

#include "picture/PixelLimits.h"
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
  // The limits stay with the object they were set on: a decoder that assigns the picture it
  // built to itself keeps the limits its caller gave it.
  TGraphic& operator=(const TGraphic&) { return *this; }
  virtual ~TGraphic() = default;

  // What this picture's decoder may allocate: the program's limits unless a caller sets lower
  // ones (the fuzz targets do, to stay fast). Carried by the picture, not held globally, so that
  // pictures decoded on several threads at once share nothing that changes.
  const TPixelLimits& Limits() const { return FLimits; }
  void SetLimits(const TPixelLimits& limits) { FLimits = limits; }

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
  // Moves the bitmap GetBitmap shows into `into` and leaves this picture empty, for a load whose
  // decoded picture dies right after: a large picture then sits in memory once, not twice. False,
  // and `into` untouched, for a picture that can only draw itself.
  virtual bool TakeBitmap(TBitmap& into) {
    (void)into;
    return false;
  }

  // The fallback path: draws the picture at (0, 0) at natural size onto a 24-bit canvas;
  // transparent pixels leave the canvas as it was.
  virtual void Draw(TBitmap& canvas) const;

 private:
  TPixelLimits FLimits;
};

// Reads a whole file; EFileError with the system's reason when it cannot, or when it holds more
// than maxBytes (then at most maxBytes + 1 bytes are read, so a device or an endless pipe cannot
// exhaust memory). kind names the file in that message ("文本文件"), translated there.
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName,
                                        std::uint64_t maxBytes = UINT64_MAX,
                                        const char* kind = N_("文件"));

// The first bytes of a file (fewer when it is shorter), for recognising its format.
std::vector<std::uint8_t> ReadFileStart(const std::string& fileName, std::size_t bytes);

// Reads a picture file for a decoder. A file larger than the limits allow (MaxPictureFileBytes),
// or one that is not a regular file (a FIFO, a device), is refused before anything is read; a
// caller that means standard input passes allowStream, and a stream is refused as soon as it
// passes the same size, holding no more than that.
std::vector<std::uint8_t> ReadPictureFile(const std::string& fileName, bool allowStream = false,
                                          const TPixelLimits& limits = {});

// A picture file read in parts, for the decoders that read only what their rows need. Opened
// with ReadPictureFile's checks: regular files within the limits.
class TPictureFile {
 public:
  explicit TPictureFile(const std::string& fileName, const TPixelLimits& limits = {});
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
// leaves no temporary file behind (see TTempFile). A symbolic link
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

// Temporary files that have a name, kept where a signal handler can find them: a front end that
// dies of SIGINT or SIGTERM calls RemoveTempFiles from its handler so that no half-written file
// is left beside the target. Safe to call from a signal handler.
void RemoveTempFiles() noexcept;

}  // namespace pennacrow
