#pragma once
// Helpers shared by the unit tests: temporary files and synthetic bitmaps.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "picture/Bitmap.h"

namespace pennacrow::test {

// A fresh directory under the system's temporary directory, removed with the object.
class TTempDir {
 public:
  TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  ~TTempDir();
  std::string Path(const std::string& name) const { return (FDir / name).string(); }

 private:
  std::filesystem::path FDir;
};

// A bitmap of the given size and depth whose bytes follow a fixed pseudo-random pattern
// (padding included), with a palette of 2^bpp entries for indexed depths.
TBitmap PatternBitmap(int width, int height, int bitsPerPixel, std::uint32_t seed = 1);

// A picture of class T decoded from bytes.
template <class T>
T Decoded(std::span<const std::uint8_t> bytes) {
  T picture;
  picture.LoadFromBytes(bytes);
  return picture;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& fileName);
void WriteFileBytes(const std::string& fileName, const std::vector<std::uint8_t>& bytes);

// A version 1 container as the earlier release laid it out: the doubled length from position 31,
// least significant bit first, and the text's bytes from position 64, each least significant
// bit first.
std::string VersionOneBits(const std::string& text);

}  // namespace pennacrow::test
