#pragma once
// Tsplashform: the borderless picture shown while the program starts. It holds nothing but
// the picture and reacts to no input.

#include <QWidget>

class QLabel;

namespace pennacrow {

class Tsplashform : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 176;
  static constexpr int kHeight = 200;

  Tsplashform();

  QLabel* Image1 = nullptr;
};

// Makes the program's resources (the splash picture, the icon) reachable under ":/".
void InitShellResources();

// The splash picture from the program's resources, decoded by our own JPEG decoder. A null
// image if it cannot be decoded: the start-up goes on with an empty splash.
QImage SplashPicture();

}  // namespace pennacrow
