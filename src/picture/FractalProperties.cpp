#include "picture/FractalProperties.h"

namespace pennacrow {

std::int32_t DefaultIterationsFor(TFractalTypes type) {
  switch (type) {
    case ftMoire:
      return 4;
    case ftMandelBrot:
    case ftJulian:
      return 16;
    default:
      return 30000;
  }
}

void TFractalProperties::ChangeFractalType(TFractalTypes value) {
  if (value == FFractalType) return;
  const auto escapeTime = [](TFractalTypes t) { return t == ftMandelBrot || t == ftJulian; };
  if (!(escapeTime(value) && escapeTime(FFractalType))) {
    NumberOfIterations = DefaultIterationsFor(value);
  }
  FFractalType = value;
}

}  // namespace pennacrow
