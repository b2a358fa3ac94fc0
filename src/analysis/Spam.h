#pragma once
// A trained detector of ±1 changes: the second-order SPAM features of Pevný, Bas and Fridrich
// ("Steganalysis by subtractive pixel adjacency matrix", 2010) and a linear model over them.
//
// Along each of eight directions the differences of neighbouring samples form a Markov chain; the
// features are its transition probabilities Pr(D3 = u | D2 = v, D1 = w) for u, v, w in [-3, 3],
// where D1, D2, D3 are the differences of a run of four samples (s1 - s2, s2 - s3, s3 - s4). The
// four horizontal and vertical directions are averaged into the first 343 features, the four
// diagonal ones into the other 343. Feature (u, v, w) of a group lies at
// (u + 3) * 49 + (v + 3) * 7 + (w + 3). A conditional probability counts every run of four samples
// inside the area, whatever its last difference; a condition that never occurs gives 0.
//
// Photographs have smooth, peaked transitions; ±1 changes add independent noise that flattens
// them, which a linear model trained on photographs tells apart. Replacement of the low bit
// flattens them too, so the model also answers to it.

#include <array>
#include <cstdint>
#include <optional>

#include "analysis/Estimators.h"

namespace pennacrow::analysis {

constexpr int kSpamRange = 3;
constexpr int kSpamGroup = (2 * kSpamRange + 1) * (2 * kSpamRange + 1) * (2 * kSpamRange + 1);
constexpr int kSpamDimension = 2 * kSpamGroup;
using TSpamFeatures = std::array<double, kSpamDimension>;

// A rectangle of a plane's samples.
struct TSampleRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// The features of the samples of plane inside rect (which must lie inside the plane). A rect
// narrower or lower than four samples has no runs in some directions: those give zeros.
TSpamFeatures SpamFeatures(const TChannelPlane& plane, const TSampleRect& rect);

// The fewest pixels a rectangle must have for the trained detector to answer: below it the
// transition probabilities of a photograph scatter as much as ±1 changes move them.
constexpr std::int64_t kSpamMinimumPixels = 64 * 64;

// The linear model shipped with the program: the probability that features averaged over a
// picture's colour channels come from ±1 changes (0.5 where the model cannot tell, with classes
// of equal size as in its training).
double SpamProbability(const TSpamFeatures& features);

}  // namespace pennacrow::analysis
