#include "app/Startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <memory>

#include "app/EncryptForm.h"
#include "app/PennacrowForm.h"
#include "app/SplashForm.h"

namespace pennacrow {

QFont ShellFont(int pixelSize) {
  QFont font;
  font.setFamilies({"SimSun", "宋体", "Noto Serif CJK SC", "Noto Sans CJK SC"});
  font.setPixelSize(pixelSize);
  return font;
}

int SplashMilliseconds() {
  bool ok = false;
  const int value = qEnvironmentVariable("PENNACROW_SPLASH_MS").trimmed().toInt(&ok);
  if (!ok || value < 0 || value > kSplashMilliseconds) return kSplashMilliseconds;
  return value;
}

TStartupOptions DefaultStartupOptions() {
  TStartupOptions options;
  options.SplashMs = SplashMilliseconds();
  options.Sleep = [](int milliseconds) {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
  };
  options.EventLoop = [] { return QApplication::exec(); };
  return options;
}

namespace {

// Shows the splash and paints it before anything else happens. A window system maps a new
// window asynchronously and drops what is painted before that, so the paint waits (briefly)
// until the window is exposed.
void ShowAndPaint(Tsplashform& splash) {
  splash.show();
  QElapsedTimer waited;
  waited.start();
  while (splash.windowHandle() && !splash.windowHandle()->isExposed() && waited.elapsed() < 500) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
  }
  splash.repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  QGuiApplication::sync();
}

}  // namespace

int RunStartup(TUserInterface& ui, const TStartupOptions& options) {
  auto splashform = std::make_unique<Tsplashform>();
  ShowAndPaint(*splashform);

  TPennacrowForm mainWindow(ui);
  TEncryptForm encryptForm(ui, &mainWindow);
  mainWindow.SetEncryptForm(&encryptForm);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    mainWindow.PlaceOnScreen(screen->availableGeometry());
  }

  if (options.Sleep) options.Sleep(options.SplashMs);
  splashform.reset();

  mainWindow.show();
  if (!options.FileToOpen.isEmpty()) mainWindow.OpenAtStart(options.FileToOpen);
  return options.EventLoop ? options.EventLoop() : 0;
}

}  // namespace pennacrow
