#include "app/PictureView.h"

#include <QPaintEvent>
#include <QPainter>

#include "app/BitmapImage.h"

namespace pennacrow {

TPictureView::TPictureView(TFractalImage& picture, QWidget* parent)
    : QWidget(parent), FPicture(picture) {
  setAutoFillBackground(false);
}

void TPictureView::PictureChanged() {
  const TBitmap* bitmap = FPicture.PictureOrNull();
  FCache = bitmap && !bitmap->Empty() ? ToQImage(*bitmap) : QImage();
  update();
}

void TPictureView::PictureChanged(QImage screen) {
  FCache = std::move(screen);
  update();
}

QPoint TPictureView::PictureOrigin() const {
  // Integer division rounds toward zero, so a larger picture is cut equally on both sides.
  return {(width() - FPicture.PictureWidth()) / 2, (height() - FPicture.PictureHeight()) / 2};
}

void TPictureView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // The control's background is the theme's, white on a light one.
  painter.fillRect(event->rect(), palette().color(QPalette::Base));
  if (FCache.isNull()) return;
  const QPoint origin = PictureOrigin();
  const QRect target = QRect(origin, FCache.size()).intersected(event->rect());
  if (target.isEmpty()) return;
  painter.drawImage(target, FCache, target.translated(-origin));
}

void TPictureView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FPicture.ControlWidth = width();
  FPicture.ControlHeight = height();
}

}  // namespace pennacrow
