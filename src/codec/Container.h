#pragma once
// The container operations on a working bitmap: write a version 2 container, read version 2
// and version 1 containers, and recognise which one a picture holds. Both front ends call these;
// the main window's methods of the same names are thin wrappers.

#include <cstdint>
#include <string>

#include "picture/Bitmap.h"
#include "picture/Errors.h"

namespace pennacrow {

// DataFormat codes.
constexpr std::uint8_t kFormatPlain = 1;      // version 2, plain text
constexpr std::uint8_t kFormatEncrypted = 2;  // version 2, encrypted text
constexpr std::uint8_t kFormatVersion1 = 3;   // version 1 of an earlier release
constexpr std::uint8_t kFormatSealed = 4;     // version 2 layout holding a sealed payload
constexpr std::uint8_t kFormatProbeFailed = 255;

// Status texts, spaces included.
extern const char* const kWriteSucceeded;  // " 数据写入成功！           "
extern const char* const kWriteFailed;     // " 数据写入失败！     "
extern const char* const kReadSucceeded;   // " 自此图像读取数据成功！  "
extern const char* const kReadFailed;      // " 自此图像读取数据失败！       "

// The status panel 1 text for a DataFormat value.
std::string DataFormatText(std::uint8_t format);

// Capacity in bytes: (width x height) div 8, and its status panel 2 text "数据大小：  N".
int Capacity(int width, int height);
std::string CapacityText(int width, int height);

// A text that does not fit the picture, or is 65,536 bytes or longer: nothing was written.
class ETextDoesNotFit : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// Probes row 0. Never raises: nullptr, an empty bitmap or any error gives kFormatProbeFailed.
std::uint8_t DetectDataFormat(const TBitmap* bitmap);

// Writes a container BitString (see BuildBinaryString) into the low bits of the first width
// bytes of each row, top row first. 1- and 4-bit bitmaps are converted to 24 bits first.
// Raises ETextDoesNotFit, before touching any pixel, when the container is longer than
// width x height bits or its text has 65,536 bytes or more.
void AddBinaryToImage(TBitmap& bitmap, const std::string& bitString);

// Reads a version 2 container; format receives the format byte of row 0. Raises when the
// length asks for more rows than the picture has.
std::string RemoveBinaryFromImage(const TBitmap& bitmap, std::uint8_t& format);
// Reads a version 1 container; format becomes kFormatVersion1.
std::string RemoveBinaryFromOldImage(const TBitmap& bitmap, std::uint8_t& format);

// Reads with the reader a DataFormat asks for, as the read command does: the version 1 reader for
// kFormatVersion1, the version 2 reader for every other value. format receives what the reader
// leaves (the format byte of row 0, or kFormatVersion1).
std::string ReadContainer(const TBitmap& bitmap, std::uint8_t& format);

}  // namespace pennacrow
