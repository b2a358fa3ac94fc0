#include "controls/FlatButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionToolButton>

#include "controls/Contrast.h"

namespace pennacrow {

namespace {

// A glyph drawn in one dark colour (the style's own close cross, say) vanishes on a dark theme's
// background: such a glyph is drawn in the text's colour instead. Coloured glyphs stay as they
// are.
QPixmap ReadableGlyph(const QPixmap& glyph, const QColor& background, const QColor& ink) {
  QImage image = glyph.toImage().convertToFormat(QImage::Format_ARGB32);
  double luminance = 0;
  int opaque = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(row[x]) < 128) continue;
      const QColor c = QColor::fromRgb(row[x]);
      if (c.hsvSaturation() > 60) return glyph;  // a coloured glyph
      luminance += c.lightnessF();
      ++opaque;
    }
  }
  if (opaque == 0) return glyph;
  const QColor average = QColor::fromHslF(0, 0, static_cast<float>(luminance / opaque));
  if (ContrastRatio(average, background) >= 2.0) return glyph;
  QPainter tint(&image);
  tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
  tint.fillRect(image.rect(), ink);
  tint.end();
  QPixmap tinted = QPixmap::fromImage(image);
  tinted.setDevicePixelRatio(glyph.devicePixelRatio());
  return tinted;
}

}  // namespace

TFlatButton::TFlatButton(const QString& caption, const QIcon& glyph, QWidget* parent)
    : QToolButton(parent) {
  setText(caption);
  setIcon(glyph);
  setIconSize({32, 32});
  setAutoRaise(true);
  setFixedSize(80, 53);
  setFocusPolicy(Qt::TabFocus);
  setAccessibleName(caption);
}

void TFlatButton::keyPressEvent(QKeyEvent* event) {
  // A tool button takes only Space; a keyboard user expects Enter to press it as well.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && event->modifiers() == Qt::NoModifier && !event->isAutoRepeat()) {
    animateClick();
    return;
  }
  QToolButton::keyPressEvent(event);
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
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(2, 2, -2, -2);
    focus.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
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
  // Flat buttons sit on the toolbars' strip, which has the theme's base colour.
  glyph = ReadableGlyph(
      glyph, palette().color(QPalette::Base),
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  const int x = (width() - iconSize().width()) / 2;
  const int y = textRect.bottom() + 1;
  painter.drawPixmap(x + (isDown() ? 1 : 0), y + (isDown() ? 1 : 0), glyph);
  if (menu() != nullptr && popupMode() == QToolButton::MenuButtonPopup) {
    DrawMenuArrow(painter, option, y + iconSize().height() / 2);
  }
}

void TFlatButton::DrawMenuArrow(QPainter& painter, const QStyleOptionToolButton& option,
                                int middle) {
  // The strip where a click drops the menu down instead of pressing the button.
  const QRect strip =
      style()->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButtonMenu, this);
  if (isEnabled() && underMouse()) {
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(strip.left(), strip.top() + 2, strip.left(), strip.bottom() - 2);
  }
  const QPointF centre(strip.center().x() + 0.5, middle);
  const QPolygonF arrow{centre + QPointF(-4.5, -2.5), centre + QPointF(4.5, -2.5),
                        centre + QPointF(0, 2.5)};
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.drawPolygon(arrow);
}

}  // namespace pennacrow
