#pragma once
// Colours chosen for a light background stay readable on a dark one: a colour too close to its
// background in lightness is moved away from it, its hue kept, until the two contrast as the
// accessibility guidelines ask of text.

#include <QColor>

namespace pennacrow {

// The contrast ratio of two colours, 1 to 21, from their relative luminance.
double ContrastRatio(const QColor& a, const QColor& b);

// colour itself when it contrasts with background by at least minimumRatio; else the nearest
// colour of its hue, lighter on a dark background and darker on a light one, that does (or
// white or black, when none does).
QColor ReadableOn(const QColor& colour, const QColor& background, double minimumRatio = 4.5);

}  // namespace pennacrow
