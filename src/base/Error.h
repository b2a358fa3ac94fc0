#pragma once
// The base of every error the core raises on purpose. It lives below every layer, so the cipher,
// the container and the picture decoders can all raise it without depending on one another.
// Every message is the text the user sees, in UTF-8.

#include <stdexcept>

namespace pennacrow {

class EPennacrowError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be read or written; the message names the file and the system's reason.
class EFileError : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

}  // namespace pennacrow
