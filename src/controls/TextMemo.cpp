#include "controls/TextMemo.h"

#include <QKeyEvent>

#include "text/TextRules.h"

namespace pennacrow {

TTextMemo::TTextMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
}

void TTextMemo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
    if (!isReadOnly()) insertPlainText(QStringLiteral("\t"));
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

std::string TTextMemo::Text() const {
  std::string utf8 = toPlainText().toStdString();
  std::string withCrLf;
  withCrLf.reserve(utf8.size() + utf8.size() / 16);
  for (char c : utf8) {
    if (c == '\n') withCrLf += '\r';
    withCrLf += c;
  }
  return Utf8ToPayload(withCrLf);
}

void TTextMemo::SetText(const std::string& payload) {
  const std::string normalised = NormalizeLineBreaks(payload);
  std::string utf8 = PayloadToUtf8(normalised);
  std::string shown;
  shown.reserve(utf8.size());
  for (char c : utf8) {
    if (c != '\r') shown += c;  // every CR is followed by LF after normalising
  }
  setPlainText(QString::fromStdString(shown));
}

void TTextMemo::SetHoverBorder(const QColor& color) {
  FHoverBorder = color;
  ApplyBorder(false);
}

void TTextMemo::enterEvent(QEnterEvent* event) {
  QPlainTextEdit::enterEvent(event);
  ApplyBorder(true);
}

void TTextMemo::leaveEvent(QEvent* event) {
  QPlainTextEdit::leaveEvent(event);
  ApplyBorder(false);
}

void TTextMemo::ApplyBorder(bool hovered) {
  if (!FHoverBorder.isValid()) return;
  const QString color = hovered ? FHoverBorder.name() : QStringLiteral("#c0c0c0");
  setStyleSheet(
      QStringLiteral("QPlainTextEdit { background: white; border: 1px solid %1; }").arg(color));
}

}  // namespace pennacrow
