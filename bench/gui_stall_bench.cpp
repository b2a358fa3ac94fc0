// How long the desktop program's event loop stalls while the main window saves a 12-megapixel
// picture as PNG through its save command (and while it loads one and paints a fractal of that
// size): a 10 ms timer records the largest gap between two of its ticks. For comparison, the
// same PNG save is timed as one call on the GUI thread, which is how long the window froze
// when the save ran there.
//
//   build/bench/pennacrow_bench_gui_stall            (QT_QPA_PLATFORM=offscreen or a display)

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "../tests/gui/FakeUserInterface.h"
#include "app/PennacrowForm.h"
#include "controls/TextMemo.h"
#include "formats/SavePicture.h"
#include "picture/Bitmap.h"

namespace {

using namespace pennacrow;

struct TStall {
  qint64 LongestGapMs = 0;
  qint64 ElapsedMs = 0;
  int Ticks = 0;
};

// Runs command while a 10 ms timer ticks; the longest gap between ticks is the longest stall.
TStall Measure(const std::function<void()>& command) {
  TStall stall;
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    stall.LongestGapMs = std::max(stall.LongestGapMs, now - last);
    last = now;
    ++stall.Ticks;
  });
  ticker.start(10);
  auto settle = [] {
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  };
  settle();
  QElapsedTimer elapsed;
  elapsed.start();
  command();
  stall.ElapsedMs = elapsed.elapsed();
  settle();  // a stall at the end shows as the gap before the next tick
  return stall;
}

void Report(const char* what, const TStall& stall) {
  std::printf("%-40s %6lld ms   longest stall %4lld ms   (%d ticks)\n", what,
              static_cast<long long>(stall.ElapsedMs), static_cast<long long>(stall.LongestGapMs),
              stall.Ticks);
}

// A 4000 x 3000 picture with smooth areas and grain, so deflate works as on a photograph.
TBitmap Photograph() {
  TBitmap bitmap(4000, 3000, 24);
  std::uint32_t noise = 12345;
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* row = bitmap.RowAt(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int grain = static_cast<int>(noise >> 29);
      row[3 * x] = static_cast<std::uint8_t>((x / 16 + grain) & 0xFF);
      row[3 * x + 1] = static_cast<std::uint8_t>((y / 12 + grain) & 0xFF);
      row[3 * x + 2] = static_cast<std::uint8_t>(((x + y) / 28 + grain) & 0xFF);
    }
  }
  return bitmap;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  char pattern[] = "/tmp/pennacrow-stall-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  const std::string carrier = dir + "/photo.bmp";
  Photograph().SaveToFile(carrier);

  test::TFakeUserInterface ui;
  TPennacrowForm form(ui);
  form.show();
  Report("load 12 MP BMP (main window)",
         Measure([&] { form.LoadPicture(QString::fromStdString(carrier)); }));
  form.TextData->SetText(std::string(60000, 'x'));
  form.FlatButton6Click();
  ui.FileAnswers.push_back(QString::fromStdString(dir + "/saved.png"));
  const TStall save = Measure([&] { form.FlatButton2Click(); });
  Report("save 12 MP PNG (main window)", save);
  Report("save 12 MP PNG (one call, GUI thread)",
         Measure([&] { SavePictureFile(form.Picture(), dir + "/direct.png"); }));
  form.Picture().ControlWidth = 4000;
  form.Picture().ControlHeight = 3000;
  Report("paint 12 MP Mandelbrot (main window)",
         Measure([&] { form.PaintFractalMenuItem(ftMandelBrot); }));
  std::filesystem::remove_all(dir);
  if (!ui.Messages.empty()) {
    std::fprintf(stderr, "unexpected message: %s\n", ui.Messages.front().toUtf8().constData());
    return 1;
  }
  return save.LongestGapMs <= 100 ? 0 : 1;
}
