#include "controls/TextMemo.h"

#include <QApplication>
#include <QKeyEvent>

#include "controls/Contrast.h"

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

void TTextMemo::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  // A style sheet takes colours, not roles: a new theme writes it again.
  if (event->type() == QEvent::PaletteChange) ApplyBorder(underMouse());
}

void TTextMemo::ApplyBorder(bool hovered) {
  if (!FHoverBorder.isValid()) return;
  const QPalette colours = QApplication::palette(this);
  const QColor base = colours.color(QPalette::Base);
  const QColor border =
      hovered ? ReadableOn(FHoverBorder, base, 3.0) : colours.color(QPalette::Mid);
  const QString sheet =
      QStringLiteral("QPlainTextEdit { background: %1; color: %2; border: 1px solid %3; }")
          .arg(base.name(), colours.color(QPalette::Text).name(), border.name());
  // Setting a style sheet changes the palette in turn: only a new one is set.
  if (sheet != styleSheet()) setStyleSheet(sheet);
}

}  // namespace pennacrow
