#pragma once
// What the decoder tests build their samples with and check refusals by: a file written byte by
// byte from a published layout, the error a load ends with, and the shared clean-failure rule.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "DecodeCheck.h"
#include "picture/Errors.h"
#include "picture/Graphic.h"

namespace pennacrow::test {

// A file under construction.
struct TByteWriter {
  std::vector<std::uint8_t> Bytes;

  TByteWriter& U8(unsigned v) {
    Bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  TByteWriter& U8s(std::initializer_list<unsigned> vs) {
    for (unsigned v : vs) U8(v);
    return *this;
  }
  TByteWriter& U16LE(unsigned v) { return U8(v & 0xFF).U8(v >> 8); }
  TByteWriter& U32LE(std::uint32_t v) { return U16LE(v & 0xFFFF).U16LE(v >> 16); }
  TByteWriter& U16BE(unsigned v) { return U8(v >> 8).U8(v & 0xFF); }
  TByteWriter& U32BE(std::uint32_t v) { return U16BE(v >> 16).U16BE(v & 0xFFFF); }
  TByteWriter& Text(const std::string& s) {
    Bytes.insert(Bytes.end(), s.begin(), s.end());
    return *this;
  }
  TByteWriter& Fill(std::size_t n, unsigned v = 0) {
    Bytes.insert(Bytes.end(), n, static_cast<std::uint8_t>(v));
    return *this;
  }
  TByteWriter& Append(const std::vector<std::uint8_t>& more) {
    Bytes.insert(Bytes.end(), more.begin(), more.end());
    return *this;
  }
  std::size_t Size() const { return Bytes.size(); }
  void Patch16LE(std::size_t at, unsigned v) {
    Bytes[at] = static_cast<std::uint8_t>(v);
    Bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void Patch32LE(std::size_t at, std::uint32_t v) {
    Patch16LE(at, v & 0xFFFF);
    Patch16LE(at + 2, v >> 16);
  }
};

// A picture of class T decoded from a sample.
template <class T>
T Loaded(const TByteWriter& b) {
  T picture;
  picture.LoadFromBytes(b.Bytes);
  return picture;
}

// The load must fail with EInvalidGraphicFormat and exactly this message, for the messages whose
// words matter; the other refusals are checked by their kind (ExpectRefusals).
inline ::testing::AssertionResult LoadFailsWith(TGraphic& graphic,
                                                std::span<const std::uint8_t> data,
                                                const std::string& message) {
  try {
    graphic.LoadFromBytes(data);
  } catch (const EInvalidGraphicFormat& e) {
    if (e.what() == message) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "message \"" << e.what() << "\", not \"" << message << "\"";
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "wrong exception type: " << e.what();
  }
  return ::testing::AssertionFailure() << "loaded without an error";
}

// One way to damage a good sample: bytes set at offsets, then the file cut to CutTo bytes
// (0 keeps its length). The load must be refused with this kind of failure.
struct TRefusal {
  const char* Name;
  std::vector<std::pair<std::size_t, std::uint8_t>> Set;
  TGraphicFault Kind;
  std::size_t CutTo = 0;
};

inline const char* KindName(TGraphicFault kind) {
  static const char* const kNames[] = {"not this format", "unsupported", "truncated",
                                       "damaged",         "too large",   "bad palette"};
  return kNames[static_cast<int>(kind)];
}

// A whole damaged file and the kind of failure it must give.
struct TRefusedFile {
  const char* Name;
  std::vector<std::uint8_t> Bytes;
  TGraphicFault Kind;
};

// load must be refused with this kind of failure; name names the case in a failure.
template <class Load>
void ExpectRefusedAs(const char* name, TGraphicFault kind, Load load) {
  try {
    load();
    ADD_FAILURE() << name << ": loaded";
  } catch (const EInvalidGraphicFormat& e) {
    EXPECT_STREQ(KindName(e.Kind()), KindName(kind)) << name << ": " << e.what();
  }
}

inline void ExpectRefusal(const TGraphicClass& pictureClass, const TRefusedFile& c) {
  ExpectRefusedAs(c.Name, c.Kind, [&] { pictureClass.Create()->LoadFromBytes(c.Bytes); });
}

// A copy of a sample with bytes set at offsets.
inline std::vector<std::uint8_t> Patched(
    std::vector<std::uint8_t> bytes, const std::vector<std::pair<std::size_t, std::uint8_t>>& set) {
  for (const auto& [at, value] : set) bytes.at(at) = value;
  return bytes;
}

// Every case of a table, each named in a failure.
inline void ExpectRefusals(const TGraphicClass& pictureClass, const std::vector<std::uint8_t>& good,
                           std::initializer_list<TRefusal> cases) {
  for (const TRefusal& c : cases) {
    std::vector<std::uint8_t> bytes = Patched(good, c.Set);
    if (c.CutTo != 0) bytes.resize(c.CutTo);
    ExpectRefusal(pictureClass, {c.Name, std::move(bytes), c.Kind});
  }
}

inline void ExpectRefusals(const TGraphicClass& pictureClass,
                           std::initializer_list<TRefusedFile> cases) {
  for (const TRefusedFile& c : cases) ExpectRefusal(pictureClass, c);
}

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

// A good sample loads, and every shorter prefix of it (every stride-th for a large sample)
// loads or is refused cleanly.
inline ::testing::AssertionResult LoadsAndEveryPrefixFailsCleanly(
    const TGraphicClass& pictureClass, const std::vector<std::uint8_t>& data,
    std::size_t stride = 1) {
  const std::string fault = check::PrefixFault(pictureClass, data, 0, stride);
  if (!fault.empty()) return ::testing::AssertionFailure() << fault;
  const std::unique_ptr<TGraphic> picture = pictureClass.Create();
  try {
    picture->LoadFromBytes(data);
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "the whole sample: " << e.what();
  }
  return ::testing::AssertionSuccess();
}

}  // namespace pennacrow::test
