#pragma once
// The process-wide format registry, filled on first use in the fixed registration order.

#include "picture/FileFormats.h"

namespace pennacrow {

const TFileFormatsList& FileFormats();

}  // namespace pennacrow
