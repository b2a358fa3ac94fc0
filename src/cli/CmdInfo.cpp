#include <climits>
#include <cstdio>
#include <iostream>

#include "adaptive/AdaptiveBitmap.h"
#include "base/Translate.h"
#include "cli/Cli.h"
#include "codec/Container.h"
#include "codec/SealedContainer.h"
#include "formats/Registry.h"
#include "picture/FractalImage.h"
#include "picture/PictureRows.h"
#include "text/TextRules.h"

namespace pennacrow::cli {

// Size, depth, capacity and the container format that the probe finds.
int CmdInfo(const std::vector<std::string>& words) {
  const TArgs args(words, {"--format"}, {"--json"});
  args.ExpectPositional(1);
  TCommandLineRows rows(args.Positional()[0], args);
  const TContainerProbe probe = ProbeContainer(rows);
  // The probe reads the top rows only, but what is said of a file must hold for all of it: a
  // file cut short or damaged below the container is reported as such, as a load reports it.
  const TBitmap& bitmap = rows.Rows(INT_MAX);
  const std::uint8_t format = probe.Format;
  const int height = rows.Height();
  const int capacity = Capacity(bitmap.Width(), height);
  const int sealedCapacity = SealedCapacity(bitmap.Width(), height);
  const bool damaged = probe.State == TContainerState::Damaged;
  const std::string status = damaged ? kDamagedContainerText : DataFormatText(format);
  const char* const container = damaged ? "damaged" : ContainerName(format);
  const TAdaptiveCapacity adaptive = AdaptiveCapacityBound(bitmap, height);
  if (args.Has("--json")) {
    std::cout << "{\"width\":" << bitmap.Width() << ",\"height\":" << height
              << ",\"bits_per_pixel\":" << bitmap.BitsPerPixel() << ",\"capacity\":" << capacity
              << ",\"sealed_capacity\":" << sealedCapacity
              << ",\"data_format\":" << static_cast<int>(format)
              << ",\"status\":" << JsonString(status) << ",\"container\":" << JsonString(container)
              << ",\"max_text_bytes\":" << MaxTextBytes(bitmap.Width(), height)
              << ",\"adaptive_capacity\":" << adaptive.Largest
              << ",\"adaptive_tolerated\":" << adaptive.Tolerated << "}\n";
  } else {
    std::cout << "width: " << bitmap.Width() << "\nheight: " << height
              << "\nbits_per_pixel: " << bitmap.BitsPerPixel() << "\ncapacity: " << capacity
              << "\nsealed_capacity: " << sealedCapacity
              << "\ndata_format: " << static_cast<int>(format) << "\nstatus: " << Tr(status.c_str())
              << "\ncontainer: " << container
              << "\nmax_text_bytes: " << MaxTextBytes(bitmap.Width(), height)
              << "\nadaptive_capacity: " << adaptive.Largest
              << "\nadaptive_tolerated: " << adaptive.Tolerated << "\n";
  }
  return kExitSuccess;
}

}  // namespace pennacrow::cli
