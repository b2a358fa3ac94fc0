#pragma once
// Building sample files byte by byte and checking how a decoder refuses damaged ones.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "DecoderTestUtil.h"
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
  TByteWriter& U16LE(unsigned v) { return U8(v).U8(v >> 8); }
  TByteWriter& U32LE(std::uint32_t v) { return U16LE(v & 0xFFFF).U16LE(v >> 16); }
  TByteWriter& U16BE(unsigned v) { return U8(v >> 8).U8(v); }
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

// The load must fail with EInvalidGraphicFormat whose message begins with start.
inline ::testing::AssertionResult LoadRefused(TGraphic& graphic, std::span<const std::uint8_t> data,
                                              const std::string& start) {
  return LoadFailsWith(graphic, data, start);
}

// Every proper prefix of a sample must either load or fail with EInvalidGraphicFormat.
inline ::testing::AssertionResult EveryPrefixLoadsOrFails(
    const std::function<std::unique_ptr<TGraphic>()>& create, const std::vector<std::uint8_t>& data,
    std::size_t step = 1) {
  for (std::size_t n = 0; n < data.size(); n += step) {
    auto graphic = create();
    try {
      graphic->LoadFromBytes(std::span(data.data(), n));
    } catch (const EInvalidGraphicFormat&) {
    } catch (const std::exception& e) {
      return ::testing::AssertionFailure() << "prefix of " << n << " bytes: " << e.what();
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace pennacrow::test
