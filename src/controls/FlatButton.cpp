#include "controls/FlatButton.h"

#include <QPainter>
#include <QStyleOptionToolButton>

namespace pennacrow {

TFlatButton::TFlatButton(const QString& caption, const QIcon& glyph, QWidget* parent)
    : QToolButton(parent) {
  setText(caption);
  setIcon(glyph);
  setIconSize({32, 32});
  setAutoRaise(true);
  setFixedSize(80, 53);
  setFocusPolicy(Qt::NoFocus);
}

void TFlatButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionToolButton option;
  initStyleOption(&option);
  // The frame only while hovered or pressed: the flat look.
  if (isEnabled() && (underMouse() || isDown())) {
    painter.setPen(isDown() ? palette().color(QPalette::Dark) : palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  const QRect textRect(0, 2, width(), fontMetrics().height() + 2);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop, text());
  const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
  QPixmap glyph = icon().pixmap(iconSize(), mode);
  // Some themes only have small pictures of a glyph; every glyph shows at the same size.
  if (!glyph.isNull() && glyph.width() < iconSize().width()) {
    glyph = glyph.scaled(iconSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  const int x = (width() - iconSize().width()) / 2;
  const int y = textRect.bottom() + 1;
  painter.drawPixmap(x + (isDown() ? 1 : 0), y + (isDown() ? 1 : 0), glyph);
}

}  // namespace pennacrow
