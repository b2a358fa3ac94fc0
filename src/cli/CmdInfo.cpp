#include <climits>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "adaptive/AdaptiveBitmap.h"
#include "adaptive/AdaptiveJpeg.h"
#include "base/Translate.h"
#include "cli/Cli.h"
#include "codec/Container.h"
#include "codec/SealedContainer.h"
#include "formats/Registry.h"
#include "picture/FractalImage.h"
#include "picture/PictureFile.h"
#include "picture/PictureRows.h"
#include "text/TextRules.h"

namespace pennacrow::cli {

namespace {

// What a keyed write into the coefficients of a JPEG file would take, when the file is one and
// its coefficients read; nothing otherwise (standard input, another format), since the pixels'
// figures above still hold for a write saved as BMP or PNG.
std::optional<TAdaptiveCapacity> JpegCapacity(const std::string& fileName) {
  if (fileName == "-" || !IsJpegFile(fileName)) return std::nullopt;
  try {
    return AdaptiveJpegCapacity(TJpegCoefficients(ReadPictureFile(fileName)));
  } catch (const EPennacrowError&) {
    return std::nullopt;
  }
}

}  // namespace

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
  const std::optional<TAdaptiveCapacity> jpeg = JpegCapacity(args.Positional()[0]);
  if (args.Has("--json")) {
    std::cout << "{\"width\":" << bitmap.Width() << ",\"height\":" << height
              << ",\"bits_per_pixel\":" << bitmap.BitsPerPixel() << ",\"capacity\":" << capacity
              << ",\"sealed_capacity\":" << sealedCapacity
              << ",\"data_format\":" << static_cast<int>(format)
              << ",\"status\":" << JsonString(status) << ",\"container\":" << JsonString(container)
              << ",\"max_text_bytes\":" << MaxTextBytes(bitmap.Width(), height)
              << ",\"adaptive_capacity\":" << adaptive.Largest
              << ",\"adaptive_tolerated\":" << adaptive.Tolerated;
    if (jpeg) {
      std::cout << ",\"jpeg_adaptive_capacity\":" << jpeg->Largest
                << ",\"jpeg_adaptive_tolerated\":" << jpeg->Tolerated;
    }
    std::cout << "}\n";
  } else {
    std::cout << "width: " << bitmap.Width() << "\nheight: " << height
              << "\nbits_per_pixel: " << bitmap.BitsPerPixel() << "\ncapacity: " << capacity
              << "\nsealed_capacity: " << sealedCapacity
              << "\ndata_format: " << static_cast<int>(format) << "\nstatus: " << Tr(status.c_str())
              << "\ncontainer: " << container
              << "\nmax_text_bytes: " << MaxTextBytes(bitmap.Width(), height)
              << "\nadaptive_capacity: " << adaptive.Largest
              << "\nadaptive_tolerated: " << adaptive.Tolerated << "\n";
    if (jpeg) {
      std::cout << "jpeg_adaptive_capacity: " << jpeg->Largest
                << "\njpeg_adaptive_tolerated: " << jpeg->Tolerated << "\n";
    }
  }
  return kExitSuccess;
}

}  // namespace pennacrow::cli
