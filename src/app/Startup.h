#pragma once
// The program's start-up: splash, main window, encryption dialog, the splash's pause, the event
// loop. The pause and the loop are injectable so that tests can watch the order.

#include <QString>
#include <functional>

namespace pennacrow {

class TUserInterface;

inline constexpr int kSplashMilliseconds = 4000;

// The application's one identity: the desktop file's name, the AppStream id, the icon's name and
// the Flatpak application id. On Wayland it tells the compositor which desktop file (and icon)
// the window belongs to.
inline constexpr const char* kApplicationId = "io.github.pennacrow.Pennacrow";

// How long the splash stays: 4000 ms, or less when PENNACROW_SPLASH_MS asks for less (tests
// and screenshots). Anything that is not a number from 0 to 4000 leaves the full pause.
int SplashMilliseconds();

struct TStartupOptions {
  int SplashMs = kSplashMilliseconds;
  // Blocks the GUI thread: no input and no painting while the splash shows.
  std::function<void(int milliseconds)> Sleep;
  // Runs the event loop and returns the program's exit code.
  std::function<int()> EventLoop;
  // A picture named on the command line, opened once the main window shows.
  QString FileToOpen;
  // When set (PENNACROW_SCREENSHOT): once the main window is on screen, a picture of it is saved
  // under this name and the window closes as its close button would. The smoke tests and the
  // screenshots of the AppStream data use it; nothing is saved when the window never shows.
  QString ScreenshotFile;
};

// Runs the start-up and the event loop in the order the program has always had. The
// application object must exist and every picture format must have registered.
int RunStartup(TUserInterface& ui, const TStartupOptions& options);

// Sleep and event loop of the real program.
TStartupOptions DefaultStartupOptions();

}  // namespace pennacrow
