#pragma once
// Helpers for the tests of the decoders we wrote ourselves: samples built byte by byte from the
// published layouts, the error a load ends with, and a walk over every prefix of a file.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "picture/Bitmap.h"
#include "picture/Errors.h"

namespace pennacrow::test {

// A file under construction.
struct TBytes {
  std::vector<std::uint8_t> B;
  TBytes& U8(unsigned v) {
    B.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  TBytes& U8s(std::initializer_list<unsigned> vs) {
    for (unsigned v : vs) U8(v);
    return *this;
  }
  TBytes& U16LE(unsigned v) { return U8(v & 0xFF).U8(v >> 8); }
  TBytes& U16BE(unsigned v) { return U8(v >> 8).U8(v & 0xFF); }
  TBytes& U32BE(std::uint32_t v) { return U16BE(v >> 16).U16BE(v & 0xFFFF); }
  TBytes& Fill(std::size_t n, unsigned v) {
    B.insert(B.end(), n, static_cast<std::uint8_t>(v));
    return *this;
  }
  TBytes& Text(const char* s) {
    while (*s) U8(static_cast<unsigned char>(*s++));
    return *this;
  }
};

// The message of the EInvalidGraphicFormat a load raises; any other outcome is described so that
// the assertion on the message fails with it.
template <class T>
std::string LoadError(const std::vector<std::uint8_t>& bytes) {
  try {
    T picture;
    picture.LoadFromBytes(bytes);
  } catch (const EInvalidGraphicFormat& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("unexpected exception: ") + e.what();
  }
  return "loaded without error";
}

inline bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// Every prefix of a good file (the whole file included) either loads or fails with our
// exception; nothing else escapes.
template <class T>
void ExpectEveryPrefixCleanlyHandled(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t n = 0; n <= bytes.size(); ++n) {
    const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(n));
    const std::string outcome = LoadError<T>(prefix);
    EXPECT_FALSE(StartsWith(outcome, "unexpected")) << "prefix of " << n << " bytes: " << outcome;
    if (n == bytes.size()) {
      EXPECT_EQ(outcome, "loaded without error");
    }
  }
}

// The shared message beginnings, so that a test names the kind of failure it expects.
inline std::string InvalidPrefix() {
  return "无法加载图像，无效或非预期的";
}
inline std::string UnsupportedPrefix() {
  return "无法加载图像，不支持";
}
inline std::string PalettePrefix() {
  return "无法加载图像，文件";
}
inline std::string TruncatedText(const std::string& f) {
  return "无法加载图像，" + f + "图像文件不完整。";
}
inline std::string DamagedPrefix(const std::string& f) {
  return "无法加载图像，" + f + "图像数据已损坏";
}
inline std::string SizePrefix(const std::string& f) {
  return "无法加载图像，" + f + "图像的尺寸";
}

}  // namespace pennacrow::test
