// Pennacrow's entry: the application, the main window and the encryption dialog.

#include <QApplication>
#include <QFont>
#include <QScreen>

#include "app/EncryptForm.h"
#include "app/PennacrowForm.h"
#include "app/UserInterface.h"
#include "formats/Registry.h"

int main(int argc, char** argv) {
  using namespace pennacrow;
  // Every format registers before any window exists.
  (void)FileFormats();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Pennacrow");
  QFont font;
  font.setFamilies({"SimSun", "宋体", "Noto Serif CJK SC", "Noto Sans CJK SC"});
  font.setPixelSize(12);
  QApplication::setFont(font);

  TPennacrowForm mainWindow(DefaultUserInterface());
  TEncryptForm encryptForm(DefaultUserInterface(), &mainWindow);
  mainWindow.SetEncryptForm(&encryptForm);
  if (const QScreen* screen = QApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    mainWindow.move(area.center() - QPoint(mainWindow.width() / 2, mainWindow.height() / 2));
  }
  mainWindow.show();
  return QApplication::exec();
}
