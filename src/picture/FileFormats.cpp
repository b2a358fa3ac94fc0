#include "picture/FileFormats.h"
#include "base/Translate.h"

#include <algorithm>

#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/Icon.h"
#include "picture/Metafile.h"

namespace pennacrow {

TFileFormatsList::TFileFormatsList() {
  AddFormat("wmf", N_("元文件"), TMetafile::ClassInfo);
  AddFormat("emf", N_("增强型元文件"), TMetafile::ClassInfo);
  AddFormat("ico", N_("图标"), TIcon::ClassInfo);
  AddFormat("bmp", N_("位图"), TBitmap::ClassInfo);
}

void TFileFormatsList::AddFormat(const std::string& extension, const std::string& description,
                                 const TGraphicClass& pictureClass) {
  FEntries.push_back({LowerAscii(extension), description, &pictureClass});
}

const TGraphicClass* TFileFormatsList::ClassForExtension(const std::string& extension) const {
  const std::string wanted = LowerAscii(extension);
  for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it) {
    if (it->Suffix == wanted) return it->PictureClass;
  }
  return nullptr;
}

std::string TFileFormatsList::BuildFilter(const TGraphicClass& base) const {
  std::string descriptions;
  std::string patterns;
  int taken = 0;
  for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it) {
    if (it->Suffix.empty() || !it->PictureClass->InheritsFrom(base)) continue;
    if (taken > 0) {
      descriptions += '|';
      patterns += ';';
    }
    descriptions += Tr(it->FormatText.c_str()) + " (*." + it->Suffix + ")|*." + it->Suffix;
    patterns += "*." + it->Suffix;
    ++taken;
  }
  if (taken > 1) return TrF("全部 (%1)", {patterns}) + "|" + patterns + "|" + descriptions;
  return descriptions;
}

std::string ExtractExtension(const std::string& fileName) {
  const auto slash = fileName.find_last_of('/');
  const auto dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return fileName.substr(dot + 1);
}

std::string LowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c); });
  return text;
}

std::string UpperAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : char(c); });
  return text;
}

std::unique_ptr<TGraphic> LoadGraphicFile(const TFileFormatsList& formats,
                                          const std::string& fileName) {
  const std::string extension = ExtractExtension(fileName);
  const TGraphicClass* pictureClass = formats.ClassForExtension(extension);
  if (pictureClass == nullptr || pictureClass->Create == nullptr) {
    throw EInvalidGraphic(TrF("未知图片文件扩展(.%1)", {extension}));
  }
  std::unique_ptr<TGraphic> graphic = pictureClass->Create();
  graphic->LoadFromFile(fileName);
  return graphic;
}

}  // namespace pennacrow
