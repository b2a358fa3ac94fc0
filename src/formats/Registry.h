#pragma once
// The process-wide format registry, filled on first use in the fixed registration order.

#include "picture/FileFormats.h"

namespace pennacrow {

const TFileFormatsList& FileFormats();

// The class that reads a file whose first bytes are head (at least SignatureBytesNeeded of them
// when the file is that long). Where the class its extension names recognises the content, or
// nothing does, the extension decides; otherwise the content's class. nullptr when neither
// knows the file.
const TGraphicClass* RecogniseGraphicClass(const TFileFormatsList& formats,
                                           std::span<const std::uint8_t> head,
                                           const std::string& extension);
std::size_t SignatureBytesNeeded();

// Loads a picture by its content as well as its name: "-" reads standard input; a non-empty
// forcedExtension picks the reader of that extension whatever the file holds.
std::unique_ptr<TGraphic> LoadRecognisedGraphic(const std::string& fileName,
                                                const std::string& forcedExtension = {});
// The same for a file's bytes already read (standard input, read once).
std::unique_ptr<TGraphic> LoadGraphicFromBytes(const std::vector<std::uint8_t>& data,
                                               const std::string& forcedExtension = {});
// The class that reads a named file (not standard input) by the same rules, without loading it.
const TGraphicClass& RecognisedGraphicClass(const std::string& fileName,
                                            const std::string& forcedExtension = {});

}  // namespace pennacrow
