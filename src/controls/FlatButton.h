#pragma once
// TFlatButton: a flat tool-bar button that shows its caption above its glyph. It takes focus
// from the keyboard only (a click leaves the focus where the user was typing), shows a focus
// frame while it has it, and Space, Enter and Return press it. Given a menu in the
// MenuButtonPopup mode, it shows an arrow in the strip at its right edge, where a click drops
// the menu down.

#include <QToolButton>

class QStyleOptionToolButton;

namespace pennacrow {

class TFlatButton : public QToolButton {
  Q_OBJECT
 public:
  explicit TFlatButton(const QString& caption, const QIcon& glyph, QWidget* parent = nullptr);

  QSize sizeHint() const override { return {80, 53}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void DrawMenuArrow(QPainter& painter, const QStyleOptionToolButton& option, int middle);
};

}  // namespace pennacrow
