#pragma once
// TFlatButton: a flat tool-bar button that shows its caption above its glyph.

#include <QToolButton>

namespace pennacrow {

class TFlatButton : public QToolButton {
  Q_OBJECT
 public:
  explicit TFlatButton(const QString& caption, const QIcon& glyph, QWidget* parent = nullptr);

  QSize sizeHint() const override { return {80, 53}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pennacrow
