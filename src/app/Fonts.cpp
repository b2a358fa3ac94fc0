#include "app/Fonts.h"

#include <QStringList>

namespace pennacrow {

QFont ShellFont(int pixelSize) {
  QFont font;
  font.setFamilies({"SimSun", "宋体", "Noto Serif CJK SC", "Noto Sans CJK SC"});
  font.setPixelSize(pixelSize);
  return font;
}

}  // namespace pennacrow
