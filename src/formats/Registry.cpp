#include "formats/Registry.h"

namespace pennacrow {

const TFileFormatsList& FileFormats() {
  static const TFileFormatsList formats = [] {
    TFileFormatsList list;  // the four built-in entries
    return list;
  }();
  return formats;
}

}  // namespace pennacrow
