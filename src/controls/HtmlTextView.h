#pragma once
// THtmlTextView: a read-only view of a text written in a small HTML dialect (P ALIGN, FONT
// FACE/COLOR/SIZE, B, U, BR, A HREF). The text is translated to Qt rich text once, when it is
// set. With MiniScroll on, the view has no scroll bars: the right 10 pixels hold two small
// markers that show whether text lies above or below the visible part, and a click on one
// scrolls the text by 4 pixels.

#include <QColor>
#include <QStringList>
#include <QTextBrowser>

class QTimer;

namespace pennacrow {

// The dialect's text as Qt rich text. Pure: depends on nothing but its arguments.
// Tag and attribute names are matched without regard to case; unknown tags are dropped; every
// blank of the text is kept; line ends in the text mean nothing. Colours, the link colour's
// too, are drawn as given where they are readable on background, else made readable (the
// guide's colours were chosen for white).
QString HtmlDialectToRichText(const QString& text, const QColor& linkColor = QColor(Qt::blue),
                              const QColor& background = QColor(Qt::white));

// FONT SIZE: 1 to 5 are the classic steps (8, 10, 12, 14 and 16 points); any other positive
// number is the size in points. 0 for a value that is no usable size.
int HtmlDialectFontPoints(const QString& sizeValue);

// Whether a link target is handed to the desktop's default handler.
bool IsExternalLinkTarget(const QString& target);

enum class TTextVAlignment { tvaTop, tvaCenter, tvaBottom };

class TMiniScrollMarkers;

class THtmlTextView : public QTextBrowser {
  Q_OBJECT
 public:
  static constexpr int kMiniScrollWidth = 10;
  static constexpr int kMiniScrollStep = 4;

  explicit THtmlTextView(QWidget* parent = nullptr);
  ~THtmlTextView() override;

  // The stored lines of the text; they are joined with nothing between them.
  void SetHTMLText(const QStringList& lines);
  const QStringList& HTMLText() const { return FHTMLText; }

  void SetMiniScroll(bool on);
  bool MiniScroll() const { return FMiniScroll; }
  // Holding a marker down keeps scrolling; the wheel and the keys scroll as well.
  void SetAutoScroll(bool on) { FAutoScroll = on; }
  bool AutoScroll() const { return FAutoScroll; }
  void SetVAlignment(TTextVAlignment alignment);
  TTextVAlignment VAlignment() const { return FVAlignment; }
  // Offset of the text's shadow. The view has no shadow colour, so nothing is drawn for it; the
  // setting is kept so that a window's layout reads as its designer gave it.
  void SetShadowOffset(int offset) { FShadowOffset = offset; }
  int ShadowOffset() const { return FShadowOffset; }
  void SetLinkColor(const QColor& color);
  QColor LinkColor() const { return FLinkColor; }

  // The scroll offset in pixels from the top of the text.
  int ScrollOffset() const;
  bool UpperMarkerShown() const;
  bool LowerMarkerShown() const;
  // What a click on a marker does: up (negative) or down by kMiniScrollStep pixels.
  void MiniScrollBy(int direction);

 signals:
  // A link was activated, whatever its target; external targets are also opened.
  void LinkActivated(const QString& target);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Retranslate();
  void UpdateMargins();
  void OpenLink(const QUrl& url);

  QStringList FHTMLText;
  bool FMiniScroll = false;
  bool FAutoScroll = false;
  TTextVAlignment FVAlignment = TTextVAlignment::tvaTop;
  int FShadowOffset = 0;
  QColor FLinkColor = QColor(Qt::blue);
  TMiniScrollMarkers* FMarkers = nullptr;
};

}  // namespace pennacrow
