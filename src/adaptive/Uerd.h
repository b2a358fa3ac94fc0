#pragma once
// UERD, uniform embedding revisited (Guo, Ni, Su, Tang and Shi, 2015): the cost of changing a
// quantised DCT coefficient by one is its quantisation step over the energy of its block and of
// the eight around it,
//     ρ(b, k) = q_k / (D_b + ¼ Σ_{n around b} D_n),   D_b = Σ_{k ≠ DC} |c_{b,k}| · q_k,
// the same for a coefficient that is zero and one that is not: changes spread evenly over the
// frequencies of a block and go to busy blocks, away from smooth ones. The DC coefficient costs as
// the mean of its two lowest AC neighbours' steps, q_(0,1) and q_(1,0). A block whose
// neighbourhood holds no AC energy at all is flat, where any change shows: its coefficients are
// not changed.
//
// It needs the coefficients and the quantisation tables only, never the pixels, which makes it far
// cheaper than costs measured in the spatial domain after a decompression per change.

#include <cstdint>
#include <span>
#include <vector>

#include "formats/JPEGCoefficients.h"

namespace pennacrow::adaptive {

// The denominator of every block of component c, row by row: 0 for a flat neighbourhood.
std::vector<float> UerdBlockWeights(const TJpegCoefficients& jpeg, int c);

// The cost level (adaptive/PlusMinusOne.h) of changing each coefficient by one, in the order
// component, block row, block column, coefficient (natural order), into levels (one per
// coefficient of the picture's blocks). Coefficients that must not change take kWetLevel: those
// of flat neighbourhoods, and those whose change could leave the range every coder accepts. The
// levels put the middle cost of the picture in the middle of the scale, since only the ratios
// of costs matter.
void UerdLevels(const TJpegCoefficients& jpeg, std::span<std::uint8_t> levels);

// The largest magnitude a coefficient keeps after a change.
inline constexpr int kMaxChangedCoefficient = 1023;

}  // namespace pennacrow::adaptive
