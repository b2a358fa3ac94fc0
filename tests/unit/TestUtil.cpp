#include "TestUtil.h"

#include <fstream>
#include <iterator>
#include <random>

#include "codec/BinaryUnit.h"

namespace pennacrow::test {

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pennacrow-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FDir = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(FDir, ignored);
}

TBitmap PatternBitmap(int width, int height, int bitsPerPixel, std::uint32_t seed) {
  TBitmap bitmap(width, height, bitsPerPixel);
  if (bitsPerPixel <= 8) {
    for (int i = 0; i < (1 << bitsPerPixel); ++i) {
      bitmap.Palette().push_back(RGB(static_cast<std::uint8_t>(i * 37),
                                     static_cast<std::uint8_t>(i * 91),
                                     static_cast<std::uint8_t>(255 - i)));
    }
  }
  std::mt19937 random(seed);
  for (std::uint8_t& b : bitmap.MutableBits()) b = static_cast<std::uint8_t>(random());
  return bitmap;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& fileName, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(fileName, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::string VersionOneBits(const std::string& text) {
  std::string bits = std::string(31, '0') +
                     ReverseString(IntToBinary(static_cast<int>(2 * text.size()), 16)) +
                     std::string(16, '0');
  for (const char c : text) bits += ReverseString(IntToBinary(static_cast<unsigned char>(c), 7));
  return bits;
}

}  // namespace pennacrow::test
