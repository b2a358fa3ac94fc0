#pragma once
// Exceptions of the picture layer. Every failure carries the message the user sees, in UTF-8.

#include <stdexcept>
#include <string>

namespace pennacrow {

// Base of every error the core raises on purpose.
class EPennacrowError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A picture cannot be loaded: unknown extension, or (as EInvalidGraphicFormat) damaged content.
class EInvalidGraphic : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// A picture file whose content is damaged, truncated, too large or of an unsupported variant.
class EInvalidGraphicFormat : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

// An operation on a bitmap that its state does not allow, such as a row outside the picture.
class EInvalidGraphicOperation : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// A file could not be read or written; the message names the file and the system's reason.
class EFileError : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// The shared decoder messages; %s of the originals becomes the format's name.
std::string InvalidFormatMessage(const std::string& format);  // file is not this format
std::string UnsupportedMessage(const std::string& format, const std::string& what);
std::string InvalidPaletteMessage(const std::string& format);

}  // namespace pennacrow
