#pragma once
// The picture control on screen: shows the working bitmap at natural size, centred, cut equally
// on both sides when it is larger than the control. Nothing scrolls.

#include <QImage>
#include <QWidget>

#include "picture/FractalImage.h"

namespace pennacrow {

class TPictureView : public QWidget {
  Q_OBJECT
 public:
  TPictureView(TFractalImage& picture, QWidget* parent = nullptr);

  TFractalImage& Picture() { return FPicture; }
  // Call after the working bitmap changed: the cached screen image is rebuilt.
  void PictureChanged();
  // The same with the screen image already made (off the GUI thread) from the new bitmap.
  void PictureChanged(QImage screen);
  // Where the picture's top-left corner sits in the control.
  QPoint PictureOrigin() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  TFractalImage& FPicture;
  QImage FCache;  // converted once per change, painted as often as the screen asks
};

}  // namespace pennacrow
