#include "formats/PngWriter.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TPngWriter::ClassInfo{"TPngWriter", &TBitmap::ClassInfo,
                                          [] { return std::unique_ptr<TGraphic>(new TPngWriter); }};

void TPngWriter::LoadFromBytes(std::span<const std::uint8_t>) {
  throw EInvalidGraphicFormat(UnsupportedMessage("PNG", "读取"));
}

std::vector<std::uint8_t> TPngWriter::SaveToStream() const {
  throw EPennacrowError("PNG 写入尚未实现");
}

void SaveAsPNG(const TBitmap& bitmap, const std::string& fileName) {
  TPngWriter writer;
  writer.Assign(bitmap);
  const std::vector<std::uint8_t> bytes = writer.SaveToStream();
  WriteFileAtomically(fileName, bytes);
}

}  // namespace pennacrow
