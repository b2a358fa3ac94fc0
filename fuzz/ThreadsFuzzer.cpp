// The same input decoded by every picture class on four threads at once: each decoder keeps its
// state to itself (a library with process-wide state behind one lock), so the four threads come
// to the same end, a picture with the same bytes or the same refusal, and the clean-failure rule
// holds on each of them.
#include <barrier>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FuzzHarness.h"
#include "formats/Registry.h"

using namespace pennacrow;

namespace {

constexpr int kThreads = 4;

// What one decode came to, as text to compare: the picture's size and bytes, or the refusal.
std::string Outcome(const TGraphicClass& pictureClass, std::span<const std::uint8_t> data) {
  std::string outcome;
  std::string refusal;
  const auto picture = [&outcome](const TBitmap& bitmap) {
    outcome = std::to_string(bitmap.Width()) + "x" + std::to_string(bitmap.Height()) + "x" +
              std::to_string(bitmap.BitsPerPixel()) + ":";
    outcome.append(bitmap.Bits().begin(), bitmap.Bits().end());
    for (const TRGBQuad& c : bitmap.Palette()) {
      outcome += {char(c.Red), char(c.Green), char(c.Blue)};
    }
  };
  const std::string fault = check::DecodeFault(
      pictureClass, data, picture, {fuzz::TFuzzOptions{}.MaxPixels, 64u << 20}, &refusal);
  if (!fault.empty()) fuzz::Fail(fault.c_str(), __FILE__, __LINE__);
  return outcome.empty() ? "refused: " + refusal : outcome;
}

std::vector<const TGraphicClass*> Decoders() {
  std::vector<const TGraphicClass*> classes;
  std::set<const TGraphicClass*> seen;
  for (const TFileFormat& format : FileFormats().Entries()) {
    if (format.PictureClass->Create != nullptr && seen.insert(format.PictureClass).second)
      classes.push_back(format.PictureClass);
  }
  return classes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<const TGraphicClass*> decoders = Decoders();
  const std::span<const std::uint8_t> input(data, size);
  // outcomes[d][t]: decoder d on thread t. The threads start each decoder together.
  std::vector<std::vector<std::string>> outcomes(decoders.size(),
                                                 std::vector<std::string>(kThreads));
  std::barrier together(kThreads);
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (std::size_t d = 0; d < decoders.size(); ++d) {
          together.arrive_and_wait();
          outcomes[d][t] = Outcome(*decoders[d], input);
        }
      });
    }
  }
  for (const std::vector<std::string>& same : outcomes) {
    for (const std::string& outcome : same) FUZZ_REQUIRE(outcome == same.front());
  }
  return 0;
}
