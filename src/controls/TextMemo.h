#pragma once
// TTextMemo: the multi-line memo that holds a payload text. Its whole text is a byte string in
// the payload code page with CR LF line breaks; setting a text normalises its line breaks and
// stops at its first zero byte. Long lines wrap at the right edge; no scroll bars.
// Tab and Shift+Tab move the focus on, as in any form, so the keyboard is never caught in the
// memo; Ctrl+Tab types a tab character, which texts may hold.

#include <QPlainTextEdit>
#include <string>

namespace pennacrow {

class TTextMemo : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit TTextMemo(QWidget* parent = nullptr);

  std::string Text() const;
  void SetText(const std::string& payload);

  // A flat memo draws a border of this colour while the mouse is over it.
  void SetHoverBorder(const QColor& color);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ApplyBorder(bool hovered);
  QColor FHoverBorder;
};

}  // namespace pennacrow
