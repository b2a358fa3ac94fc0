#include "app/Startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <memory>

#include "app/EncryptForm.h"
#include "app/PennacrowForm.h"
#include "app/SplashForm.h"

namespace pennacrow {

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
  options.ScreenshotFile = qEnvironmentVariable("PENNACROW_SCREENSHOT");
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

// Waits (up to 10 s) for the window system to show the window, saves a picture of it and closes
// it. A window never exposed saves nothing, which is what a smoke test looks for.
void ShootAndClose(TPennacrowForm& window, const QString& fileName) {
  auto* poll = new QTimer(&window);
  poll->setInterval(50);
  auto waited = std::make_shared<QElapsedTimer>();
  waited->start();
  QObject::connect(poll, &QTimer::timeout, &window, [&window, fileName, poll, waited] {
    const QWindow* handle = window.windowHandle();
    const bool shown = handle != nullptr && handle->isExposed();
    if (!shown && waited->elapsed() < 10000) return;
    poll->stop();
    if (shown && !window.grab().save(fileName)) {
      std::fprintf(stderr, "pennacrow: %s\n", qPrintable(fileName));
    }
    window.close();
  });
  poll->start();
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
  if (!options.ScreenshotFile.isEmpty()) ShootAndClose(mainWindow, options.ScreenshotFile);
  return options.EventLoop ? options.EventLoop() : 0;
}

}  // namespace pennacrow
