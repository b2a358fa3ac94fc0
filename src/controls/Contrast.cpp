#include "controls/Contrast.h"

#include <cmath>

namespace pennacrow {

namespace {

double Linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
  return 0.2126 * Linear(c.redF()) + 0.7152 * Linear(c.greenF()) + 0.0722 * Linear(c.blueF());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& colour, const QColor& background, double minimumRatio) {
  if (ContrastRatio(colour, background) >= minimumRatio) return colour;
  // Mixed step by step toward white on a dark background, toward black on a light one.
  const bool darkBackground = Luminance(background) < 0.18;
  const QColor target = darkBackground ? QColor(Qt::white) : QColor(Qt::black);
  for (int step = 1; step <= 20; ++step) {
    const double t = step / 20.0;
    const QColor mixed = QColor::fromRgbF(
        static_cast<float>(colour.redF() + (target.redF() - colour.redF()) * t),
        static_cast<float>(colour.greenF() + (target.greenF() - colour.greenF()) * t),
        static_cast<float>(colour.blueF() + (target.blueF() - colour.blueF()) * t));
    if (ContrastRatio(mixed, background) >= minimumRatio) return mixed;
  }
  return target;
}

}  // namespace pennacrow
