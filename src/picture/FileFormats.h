#pragma once
// TFileFormatsList: the append-only registry of (extension, description, picture class).
// The newest entry for an extension decides which class decodes it.

#include <memory>
#include <string>
#include <vector>

#include "picture/Graphic.h"

namespace pennacrow {

struct TFileFormat {
  std::string Suffix;      // lower-case, without the dot
  std::string FormatText;  // shown in the open dialog
  const TGraphicClass* PictureClass;
};

class TFileFormatsList {
 public:
  // Starts with the four built-in entries: wmf, emf, ico, bmp.
  TFileFormatsList();

  void AddFormat(const std::string& extension, const std::string& description,
                 const TGraphicClass& pictureClass);
  // Newest entry first; the extension is lower-cased. nullptr when nobody registered it.
  const TGraphicClass* ClassForExtension(const std::string& extension) const;
  // The open dialog's filter over every entry whose class derives from base.
  std::string BuildFilter(const TGraphicClass& base) const;

  const std::vector<TFileFormat>& Entries() const { return FEntries; }

 private:
  std::vector<TFileFormat> FEntries;
};

// The extension of a file name without its dot ("" when there is none).
std::string ExtractExtension(const std::string& fileName);
std::string LowerAscii(std::string text);
std::string UpperAscii(std::string text);

// Loads a file through the registry: finds the class for its extension, creates an instance and
// lets it decode the file. "未知图片文件扩展(.%s)" when no class is registered.
std::unique_ptr<TGraphic> LoadGraphicFile(const TFileFormatsList& formats,
                                          const std::string& fileName);

}  // namespace pennacrow
