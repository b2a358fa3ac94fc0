// Pennacrow's entry: every format registers, then the start-up shows the splash, builds the
// main window and the encryption dialog, and runs the event loop.

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/Startup.h"
#include "app/UserInterface.h"
#include "formats/Registry.h"

int main(int argc, char** argv) {
  using namespace pennacrow;
  // Every format registers before any window exists.
  (void)FileFormats();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Pennacrow");
  QApplication::setApplicationVersion("2.0");
  QApplication::setDesktopFileName("pennacrow");
  // The interface is Chinese; so are the buttons of Qt's own dialogs (打开, 取消, ...).
  QTranslator qtTranslator;
  if (qtTranslator.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslator);
  }
  InitShellResources();
  QApplication::setWindowIcon(QIcon(":/pennacrow.svg"));
  QApplication::setFont(ShellFont(12));
  return RunStartup(DefaultUserInterface(), DefaultStartupOptions());
}
