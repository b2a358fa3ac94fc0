// Pennacrow's entry: every format registers, then the start-up shows the splash, builds the
// main window and the encryption dialog, and runs the event loop.

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "app/ColourScheme.h"
#include "app/Fonts.h"
#include "app/Language.h"
#include "app/SplashForm.h"
#include "app/Startup.h"
#include "app/UserInterface.h"
#include "formats/Registry.h"

namespace {

const char* const kHelp =
    N_("用法: pennacrow [FILE]\n"
       "Pennacrow 把一段文本藏进图片像素字节的最低位，并能读回。\n"
       "FILE      启动后打开这幅图片\n"
       "--help    显示本说明并退出\n"
       "--version 显示版本并退出\n"
       "命令行工具见 pennacrow-cli --help。\n");

}  // namespace

int main(int argc, char** argv) {
  using namespace pennacrow;
  // Answered before a display is needed, so that they work on a terminal without one.
  QString fileToOpen;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(Tr(kHelp).c_str(), stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
      std::fputs("pennacrow 2.0.0\n", stdout);
      return 0;
    }
    if (argv[i][0] != '-' && fileToOpen.isEmpty()) fileToOpen = QString::fromLocal8Bit(argv[i]);
  }
  // Every format registers before any window exists.
  (void)FileFormats();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Pennacrow");
  QApplication::setApplicationVersion("2.0");
  QApplication::setDesktopFileName(kApplicationId);
  InstallQtTranslations();
  InitShellResources();
  QApplication::setWindowIcon(QIcon(":/pennacrow.svg"));
  QApplication::setFont(ShellFont(12));
  FollowDesktopColourScheme(application);
  TStartupOptions options = DefaultStartupOptions();
  options.FileToOpen = fileToOpen;
  return RunStartup(DefaultUserInterface(), options);
}
