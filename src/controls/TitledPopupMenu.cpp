#include "controls/TitledPopupMenu.h"

#include <QLinearGradient>
#include <QPainter>

namespace pennacrow {

TTitledPopupMenu::TTitledPopupMenu(const QString& title, QWidget* parent)
    : QMenu(title, parent), FTitle(title) {
  setContentsMargins(kBandWidth, 0, 0, 0);
}

void TTitledPopupMenu::paintEvent(QPaintEvent* event) {
  QMenu::paintEvent(event);
  QPainter painter(this);
  const QRect band(0, 0, kBandWidth, height());
  QLinearGradient gradient(band.topLeft(), band.bottomLeft());
  gradient.setColorAt(0, QColor(99, 148, 198));
  gradient.setColorAt(1, QColor(20, 50, 110));
  painter.fillRect(band, gradient);
  // The title reads upwards from the bottom of the band.
  painter.translate(band.left() + kBandWidth / 2, band.bottom() - 6);
  painter.rotate(-90);
  QFont font = painter.font();
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  const int ascent = painter.fontMetrics().ascent();
  painter.drawText(0, ascent / 2 - 1, FTitle);
}

}  // namespace pennacrow
