#pragma once
// Keyed, content-adaptive writing over any cover that is a vector of integer elements: the
// layout of the elements, the header and the payload, and the writer and reader over it. The
// bitmap (adaptive/AdaptiveBitmap.h) and, later, JPEG coefficients supply the elements and their
// costs; everything else is here.
//
// Layout over the keyed order (adaptive/KeyedOrder.h) of a cover of N elements:
//   positions [0, 4096)   the 32-byte header (adaptive/KeyedSeal.h): its 256 bits, least
//                         significant bit of each byte first, are the syndrome of the positions'
//                         P1 bits under the height-10 code (adaptive/SyndromeTrellis.h)
//   positions [4096, N)   the payload, cut into S segments of equal length (the first
//                         floor(s·n/S) positions from 4096 on begin segment s, n = N - 4096);
//                         its ciphertext's bits, least significant bit of each byte first, are
//                         split into the first P2 bits (the header says how many) and the rest,
//                         and segment s carries bits [floor(s·P2/S), floor((s+1)·P2/S)) of the
//                         first part in its P2 bits and the matching share of the rest in its P1
//                         bits (adaptive/PlusMinusOne.h), each as the syndrome of height h.
// h and S follow from n alone (KeyedLayout): the larger the cover, the lower the height, so that
// the writer's time stays near one figure per element, and segments of 2^(27 - h) positions keep
// its memory near 16 MiB per segment at work.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "adaptive/KeyedOrder.h"
#include "adaptive/KeyedSeal.h"
#include "adaptive/PlusMinusOne.h"
#include "crypto/Sealed.h"

namespace pennacrow::adaptive {

inline constexpr std::uint64_t kHeaderPositions = 4096;
inline constexpr int kHeaderHeight = 10;

struct TKeyedLayout {
  std::uint64_t Elements = 0;  // N
  int Height = 0;              // of the payload's code
  std::uint64_t Segments = 0;  // S
  std::uint64_t PayloadPositions() const { return Elements - kHeaderPositions; }
  // The first position of segment s (s = S gives N).
  std::uint64_t SegmentStart(std::uint64_t s) const;
};

// The layout of a cover of this many elements; nothing when it is too small to hold a header
// and a payload.
std::optional<TKeyedLayout> KeyedLayout(std::uint64_t elements);

// What a reader sees of a cover: its elements' values, and a label of its kind and size that
// keeps the keys of different covers apart.
class TKeyedCover {
 public:
  virtual ~TKeyedCover() = default;
  virtual std::uint64_t Size() const = 0;
  virtual std::string Label() const = 0;
  // The elements' values, or numbers with the same two lowest bits: the codes look at P1 and P2
  // alone, and wet elements are told by their levels.
  virtual void Values(std::span<const std::uint32_t> indices,
                      std::span<std::int16_t> values) const = 0;
  // What the keyed order runs on (adaptive/KeyedOrder.h).
  virtual TOrderDomain OrderDomain() const { return TOrderDomain::PowerOfTwo; }
};

// What a writer needs besides: the costs of the changes, and changing elements.
class TAdaptiveCover : public TKeyedCover {
 public:
  // Elements with at least one allowed change; known before the costs.
  virtual std::uint64_t Usable() const = 0;
  // Works out the costs: the writer asks only once the password's key is derived, so that the
  // two never hold their memory at the same time, unless CostsBesideKey says otherwise.
  virtual void PrepareCosts() = 0;
  // Whether the costs are small enough to be worked out while the key is derived, both
  // memories held at once.
  virtual bool CostsBesideKey() const { return false; }
  virtual TCostHistogram Histogram() const = 0;
  // The layer cost past which the writer leaves a change out of its codes
  // (TTernaryPlan::DryLimit); none by default.
  virtual float DryLimit() const { return kWet; }
  virtual void Levels(std::span<const std::uint32_t> indices, std::span<std::uint8_t> plus,
                      std::span<std::uint8_t> minus) const = 0;
  // Changes the elements at these indices by ±1; called only once the whole message has found
  // its place, so that a write that fails changes nothing.
  virtual void Apply(std::span<const std::uint32_t> indices,
                     std::span<const std::int8_t> changes) = 0;
};

// A cover whose change either way costs the same: one cost level per element, which PrepareCosts
// fills, gives the writer its histogram and its lookups.
class TSymmetricCover : public TAdaptiveCover {
 public:
  TCostHistogram Histogram() const override;
  void Levels(std::span<const std::uint32_t> indices, std::span<std::uint8_t> plus,
              std::span<std::uint8_t> minus) const override;

 protected:
  std::vector<std::uint8_t> FLevels;
};

// The payload a cover accepts: at most half a bit per usable element of the payload's part
// (a code needs room below the entropy of its changes), as the sealed record's bytes.
std::uint64_t LargestKeyedRecord(std::uint64_t elements, std::uint64_t usable);
// Where detectors are expected to stay near chance: a tenth of a bit per usable element.
std::uint64_t ToleratedKeyedRecord(std::uint64_t elements, std::uint64_t usable);

// Seals the record and writes it into the cover. Raises ETextDoesNotFit (before the key
// derivation) when it is longer than LargestKeyedRecord, and EStcInfeasible when the cover has
// too few elements free to change where the code needs them; the cover is then unchanged.
void WriteKeyed(TAdaptiveCover& cover, std::string_view password, std::string_view record,
                TSealParameters parameters = KeyedSealParameters());

// The record a cover holds under this password. Raises ESealOpen for a wrong password, a cover
// without a message and a damaged one alike.
std::string ReadKeyed(const TKeyedCover& cover, std::string_view password,
                      TSealParameters parameters = KeyedSealParameters());

}  // namespace pennacrow::adaptive
