#pragma once
// The errors of the picture layer and every message a decoder gives. A refused file carries its
// kind as data (tests and callers ask the kind) and its message for the user.

#include <cstdint>
#include <string>

#include "base/Error.h"

namespace pennacrow {

// A picture cannot be loaded: unknown extension, or (as EInvalidGraphicFormat) refused content.
class EInvalidGraphic : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// Why a picture file was refused. Each kind is a different failure with its own message.
enum class TGraphicFault {
  NotThisFormat,  // the bytes are not a file of this format at all
  Unsupported,    // a valid file using a variant we do not decode
  Truncated,      // the data ends before the picture does
  Damaged,        // the data contradicts itself
  TooLarge,       // the picture is beyond the pixel limits
  BadPalette,     // the palette is missing, too long or out of range
};

class EInvalidGraphicFormat : public EInvalidGraphic {
 public:
  // A message without a kind counts as damaged data.
  explicit EInvalidGraphicFormat(const std::string& message)
      : EInvalidGraphicFormat(TGraphicFault::Damaged, message) {}
  EInvalidGraphicFormat(TGraphicFault kind, const std::string& message)
      : EInvalidGraphic(message), FKind(kind) {}
  TGraphicFault Kind() const { return FKind; }

 private:
  TGraphicFault FKind;
};

// An operation on a bitmap that its state does not allow, such as a row outside the picture.
class EInvalidGraphicOperation : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// The decoder messages, each naming the format as the user knows it ("BMP", "Kodak Photo-CD").
std::string InvalidFormatMessage(const std::string& format);  // file is not this format
std::string UnsupportedMessage(const std::string& format, const std::string& what);
std::string InvalidPaletteMessage(const std::string& format);
// "无法加载图像，<format>图像文件不完整。": the data ends before the picture does.
std::string TruncatedMessage(const std::string& format);
// "无法加载图像，<format>图像数据已损坏（<detail>）。": detail is a library's or our own reason.
std::string DamagedMessage(const std::string& format, const std::string& detail);

// The same failures as exceptions of their kind, for `throw TruncatedError("PCX");`.
EInvalidGraphicFormat InvalidFormatError(const std::string& format);
EInvalidGraphicFormat UnsupportedError(const std::string& format, const std::string& what);
EInvalidGraphicFormat InvalidPaletteError(const std::string& format);
EInvalidGraphicFormat TruncatedError(const std::string& format);
EInvalidGraphicFormat DamagedError(const std::string& format, const std::string& detail);
// The same with a library's own reason, which is English: it is shown to an English reader only,
// so that no message mixes two languages.
EInvalidGraphicFormat LibraryDamagedError(const std::string& format,
                                          const std::string& englishDetail);
// A width or height that is negative (damaged) or beyond the limits given (too large).
EInvalidGraphicFormat InvalidSizeError(const std::string& format, const std::string& size);
EInvalidGraphicFormat TooLargeError(const std::string& format, const std::string& size,
                                    std::uint64_t maxPixels, std::uint64_t maxBytes);
// A drawn picture (a metafile) whose records and drawing cost more than the budget of a file.
EInvalidGraphicFormat PlaybackBudgetError(const std::string& format, std::uint64_t budget);

// Whether read gets through without refusing the bytes as a picture: how recognition by content
// asks a decoder's own header reading about a file's first bytes.
template <typename TRead>
bool ReadsWithoutRefusal(TRead&& read) {
  try {
    read();
  } catch (const EInvalidGraphicFormat&) {
    return false;
  }
  return true;
}

}  // namespace pennacrow
