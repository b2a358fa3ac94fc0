#pragma once
// The container operations on a working bitmap: write a version 2 container, read version 2
// and version 1 containers, and recognise which one a picture holds. Both front ends call these;
// the main window's methods of the same names are thin wrappers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/PictureRows.h"

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

// The status text of a damaged container (see TContainerState).
extern const char* const kDamagedContainerText;  // "隐藏数据已损坏"

// The status panel 1 text for a DataFormat value.
// Always the program's own Chinese text (scripts read it from info --json); show it with Tr.
std::string DataFormatText(std::uint8_t format);

// Capacity in bytes: (width x height) div 8, and its status panel 2 text "数据大小：  N".
int Capacity(int width, int height);
// The longest text a hide writes into a picture of this size: the capacity less the 3-byte
// header, at most 65,535 bytes (the length field's limit); 0 for pictures too small for a header.
int MaxTextBytes(int width, int height);
// A name for the container format that does not change with the language, for scripts:
// "none", "plain", "encrypted", "version1" or "sealed".
const char* ContainerName(std::uint8_t format);
std::string CapacityText(int width, int height);

// A text that does not fit the picture, or is 65,536 bytes or longer: nothing was written.
class ETextDoesNotFit : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// A container header whose length runs past the end of the picture.
class EIncompleteContainer : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// What the probe makes of the container that row 0 announces.
enum class TContainerState : std::uint8_t {
  Found,    // a container whose payload passes its own checks
  None,     // no container: an ordinary picture's low bits, or a chance header
  Damaged,  // a sealed payload under the format byte of a text: a container changed since
};

struct TContainerProbe {
  // The DataFormat: the container's code when Found, 0 when a header was judged no container
  // or damaged, and the format byte as the bare probe reads it (or kFormatProbeFailed) otherwise.
  std::uint8_t Format = kFormatProbeFailed;
  TContainerState State = TContainerState::None;
};

// Probes row 0 and judges the payload its header announces. The low bits of one ordinary picture
// in a hundred or so read as a header of a container code by chance, flat and transparent areas
// far more often; a container is reported only when it is plausible: its length fits the
// picture and is not 0, a version 2 text is of the payload code page, an encrypted one is
// Base64, a sealed payload has a seal's version and parameters, and a version 1 text could have
// come from the memo (see LooksLikeVersion1Text). Asks the source only for the rows the header
// and payload occupy; raises only what the source raises when it cannot load them.
TContainerProbe ProbeContainer(TRowSource& source);

// The DataFormat of ProbeContainer. Never raises for a bitmap: nullptr, an empty bitmap or any
// error gives kFormatProbeFailed. The status bar, the read and the save check never disagree.
std::uint8_t DetectDataFormat(const TBitmap* bitmap);
std::uint8_t DetectDataFormat(TRowSource& source);

// True for the formats that hold a container: plain, encrypted, version 1 and sealed.
bool HoldsContainer(std::uint8_t format);

// The earlier release wrote version 1 only from the memo: a text of the payload code page with
// no control characters but tab, CR and LF.
bool LooksLikeVersion1Text(const std::string& text);

// What a plain container may hold: some printable character, and every byte a character of the
// payload code page (or of code page 936) or, as --raw may store it, of UTF-8.
bool IsPlainText(std::string_view text);

// The longest text hide --encrypt takes: its ArmouredText (4 characters for every 3 bytes, the
// last group padded) must fit MaxTextBytes.
int MaxEncryptedTextBytes(int width, int height);

// How a carrier byte takes a bit whose low bit must change. Replace sets the low bit (what every
// release has written); Stealth adds or subtracts 1 at random (never past 0 or 255), which reads
// back the same but leaves none of the pairs structure that low-bit steganalysis measures.
enum class TLowBitWriting { Replace, Stealth };

// Writes a container BitString (see BuildBinaryString) into the low bits of the first width
// bytes of each row, top row first. 1- and 4-bit bitmaps are converted to 24 bits first.
// Raises ETextDoesNotFit, before touching any pixel, when the container is longer than
// width x height bits or its text has 65,536 bytes or more.
void AddBinaryToImage(TBitmap& bitmap, const std::string& bitString,
                      TLowBitWriting writing = TLowBitWriting::Replace);

// Reads a version 2 container; format receives the format byte of row 0. Raises when the
// length asks for more rows than the picture has.
std::string RemoveBinaryFromImage(const TBitmap& bitmap, std::uint8_t& format);
// Reads a version 1 container; format becomes kFormatVersion1.
std::string RemoveBinaryFromOldImage(const TBitmap& bitmap, std::uint8_t& format);

// Reads with the reader a DataFormat asks for, as the read command does: the version 1 reader for
// kFormatVersion1, the version 2 reader for every other value. format receives what the reader
// leaves (the format byte of row 0, or kFormatVersion1).
std::string ReadContainer(const TBitmap& bitmap, std::uint8_t& format);

// A container's format code and its text as stored.
struct THiddenText {
  std::uint8_t Format = 0;
  std::string Text;
  friend bool operator==(const THiddenText&, const THiddenText&) = default;
};

// The picture holds no container (the probe finds none, or only a chance hit).
class ENoHiddenText : public EPennacrowError {
 public:
  ENoHiddenText();
};

// The container was changed since it was written: its payload is a sealed one, but its format
// byte says text. Printing it would show ciphertext as if it were the text.
class EDamagedContainer : public EPennacrowError {
 public:
  EDamagedContainer();
};

// The read command of both front ends: probes row 0 and reads what the probe found. Raises
// ENoHiddenText when there is no container and EDamagedContainer for a damaged one, unless
// force, which reads the low bits anyway with the reader the bare probe asks for (as earlier
// releases always did). Version 2 texts come back as stored, whatever their bytes.
THiddenText ReadHiddenText(const TBitmap& bitmap, bool force = false);
// The same over a picture read in part: the header rows first, then the rows its length needs.
THiddenText ReadHiddenText(TRowSource& source, bool force = false);
// The rows that hold the whole container a DataFormat names (the version 1 layout for
// kFormatVersion1, the version 2 layout otherwise); every row when it would not fit, so that
// the reader reports that as it does for the whole picture.
const TBitmap& ContainerRows(TRowSource& source, std::uint8_t format);
// The same, without raising: nothing when there is no container or it cannot be read.
std::optional<THiddenText> FindHiddenText(const TBitmap& bitmap);
std::optional<THiddenText> FindHiddenText(TRowSource& source);

// What a write stores: the text as payload bytes under a format code.
struct THideOptions {
  std::string Text;
  std::uint8_t Format = kFormatPlain;
  TLowBitWriting Writing = TLowBitWriting::Replace;
};

// The write command of both front ends: builds the container and writes it (AddBinaryToImage's
// rules: nothing is touched when it does not fit). Returns the container's BitString.
std::string HideText(TBitmap& bitmap, const THideOptions& options);

// The format a write of the memo's text uses: encrypted only when the memo still holds exactly
// the ArmouredText an encryption produced (or a format 2 read gave); anything else is plain.
std::uint8_t FormatForMemoText(const std::string& memoText,
                               const std::optional<std::string>& armouredText);

}  // namespace pennacrow
