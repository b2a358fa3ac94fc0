#include "app/Glyphs.h"

#include <QApplication>
#include <QStyle>

namespace pennacrow {

QIcon ToolGlyph(int index) {
  struct TGlyph {
    const char* Theme;
    QStyle::StandardPixmap Fallback;
  };
  static const TGlyph kGlyphs[] = {
      {"document-open", QStyle::SP_DialogOpenButton},              // 0 load
      {"document-save", QStyle::SP_DialogSaveButton},              // 1 save
      {"image-x-generic", QStyle::SP_FileIcon},                    // 2
      {"document-print", QStyle::SP_ComputerIcon},                 // 3 print
      {"document-properties", QStyle::SP_FileDialogDetailedView},  // 4 data
      {"dialog-password", QStyle::SP_DialogYesButton},             // 5 key
      {"window-close", QStyle::SP_DialogCloseButton},              // 6 close
      {"help-contents", QStyle::SP_DialogHelpButton},              // 7 help
  };
  if (index < 0 || index >= static_cast<int>(std::size(kGlyphs))) return {};
  return QIcon::fromTheme(kGlyphs[index].Theme,
                          QApplication::style()->standardIcon(kGlyphs[index].Fallback));
}

}  // namespace pennacrow
