#pragma once
// Assertions shared by the decoder tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "picture/Errors.h"
#include "picture/Graphic.h"

namespace pennacrow::test {

// The load must fail with EInvalidGraphicFormat whose message begins with start.
inline ::testing::AssertionResult LoadFailsWith(TGraphic& graphic,
                                                std::span<const std::uint8_t> data,
                                                const std::string& start) {
  try {
    graphic.LoadFromBytes(data);
  } catch (const EInvalidGraphicFormat& e) {
    if (std::string(e.what()).rfind(start, 0) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "message \"" << e.what() << "\" does not begin with \"" << start << "\"";
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "wrong exception type: " << e.what();
  }
  return ::testing::AssertionFailure() << "loaded without an error";
}

}  // namespace pennacrow::test
