#include "controls/HtmlTextView.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <map>
#include <vector>

#include "controls/Contrast.h"

namespace pennacrow {

namespace {

// The least contrast a colour of the text keeps with the background before it is changed: low
// enough that every colour readable on white is drawn as written.
constexpr double kMinimumContrast = 3.0;

// Every blank of the dialect's text shows, so paragraphs wrap but keep their white space.
const char* const kParagraphStyle =
    "white-space:pre-wrap; margin-top:0px; margin-bottom:0px; margin-left:0px; "
    "margin-right:0px;";

struct TTag {
  QString Name;  // upper case
  bool Closing = false;
  std::map<QString, QString> Attributes;  // names upper case
};

// Reads "NAME attr="value" attr2=value2 ..." (the text between the angle brackets).
TTag ParseTag(const QString& inside) {
  TTag tag;
  int i = 0;
  const int n = inside.size();
  auto skipBlanks = [&] {
    while (i < n && inside[i].isSpace()) ++i;
  };
  skipBlanks();
  if (i < n && inside[i] == '/') {
    tag.Closing = true;
    ++i;
    skipBlanks();
  }
  const int nameStart = i;
  while (i < n && !inside[i].isSpace() && inside[i] != '/') ++i;
  tag.Name = inside.mid(nameStart, i - nameStart).toUpper();
  while (i < n) {
    skipBlanks();
    const int attrStart = i;
    while (i < n && !inside[i].isSpace() && inside[i] != '=') ++i;
    const QString name = inside.mid(attrStart, i - attrStart).toUpper();
    skipBlanks();
    QString value;
    if (i < n && inside[i] == '=') {
      ++i;
      skipBlanks();
      if (i < n && (inside[i] == '"' || inside[i] == '\'')) {
        const QChar quote = inside[i++];
        const int valueStart = i;
        while (i < n && inside[i] != quote) ++i;
        value = inside.mid(valueStart, i - valueStart);
        if (i < n) ++i;
      } else {
        const int valueStart = i;
        while (i < n && !inside[i].isSpace()) ++i;
        value = inside.mid(valueStart, i - valueStart);
      }
    }
    if (!name.isEmpty() && name != "/") tag.Attributes[name] = value;
    if (i == attrStart) ++i;  // a stray character: step over it
  }
  return tag;
}

QString Attribute(const TTag& tag, const char* name) {
  const auto found = tag.Attributes.find(QString::fromLatin1(name));
  return found == tag.Attributes.end() ? QString() : found->second;
}

QString EscapeAttribute(const QString& value) {
  QString out = value.toHtmlEscaped();
  out.replace('\'', "&#39;");
  return out;
}

// Text between tags: line ends mean nothing, a tab is a blank, entities pass unchanged.
void AppendText(QString& out, const QString& text) {
  static const QRegularExpression entity("^&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[A-Za-z]{2,8});");
  for (int i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == '\r' || c == '\n') continue;
    if (c == '\t') {
      out += ' ';
    } else if (c == '&') {
      const QRegularExpressionMatch match = entity.match(QStringView(text).mid(i));
      out += match.hasMatch() ? QStringLiteral("&") : QStringLiteral("&amp;");
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else {
      out += c;
    }
  }
}

QString FontStyle(const TTag& tag, const QColor& background) {
  QString style;
  QString face = Attribute(tag, "FACE");
  face.remove(QRegularExpression("[\"';<>{}]"));
  if (!face.trimmed().isEmpty()) style += QString("font-family:'%1'; ").arg(face.trimmed());
  const int points = HtmlDialectFontPoints(Attribute(tag, "SIZE"));
  if (points > 0) style += QString("font-size:%1pt; ").arg(points);
  const QColor color = QColor::fromString(Attribute(tag, "COLOR").trimmed());
  if (color.isValid()) {
    style += QString("color:%1; ").arg(ReadableOn(color, background, kMinimumContrast).name());
  }
  return style;
}

QString ParagraphAlignment(const TTag& tag) {
  const QString align = Attribute(tag, "ALIGN").trimmed().toLower();
  if (align == "center" || align == "right") return align;
  return "left";
}

// A tag begins with "<" and a letter or a slash; any other "<" is text.
int TagStart(const QString& text, int from) {
  for (int i = text.indexOf('<', from); i >= 0; i = text.indexOf('<', i + 1)) {
    if (i + 1 < text.size() && (text[i + 1].isLetter() || text[i + 1] == '/')) return i;
  }
  return -1;
}

// The ">" that ends a tag; one inside a quoted attribute value does not.
int TagEnd(const QString& text, int from) {
  QChar quote;
  for (int i = from; i < text.size(); ++i) {
    const QChar c = text[i];
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
    } else if (c == '"') {
      quote = c;
    } else if (c == '>') {
      return i;
    }
  }
  return -1;
}

// Inline elements may be closed out of order; a paragraph may start while they are open.
// Qt's rich text wants them properly nested inside the paragraph, so they are closed before a
// paragraph boundary or a mismatched closing tag and opened again after it.
class TTranslator {
 public:
  TTranslator(const QColor& linkColor, const QColor& background)
      : FLinkColor(ReadableOn(linkColor, background, kMinimumContrast)), FBackground(background) {}

  QString Run(const QString& text) {
    int i = 0;
    while (i < text.size()) {
      const int open = TagStart(text, i);
      const int close = open < 0 ? -1 : TagEnd(text, open + 1);
      if (open < 0 || close < 0) {
        Text(text.mid(i));
        break;
      }
      Text(text.mid(i, open - i));
      Tag(ParseTag(text.mid(open + 1, close - open - 1)));
      i = close + 1;
    }
    CloseParagraph();
    return "<html><body>" + FOut + "</body></html>";
  }

 private:
  struct TOpen {
    QString Name;
    QString Opening;
    QString Closing;
  };

  void Text(const QString& text) {
    if (text.isEmpty()) return;
    if (!FInParagraph) {
      // Blanks between paragraphs show nothing; other text gets a paragraph of its own.
      if (text.trimmed().isEmpty()) return;
      OpenParagraph("left");
    }
    AppendText(FOut, text);
  }

  void Tag(const TTag& tag) {
    if (tag.Name == "P") {
      if (tag.Closing) {
        CloseParagraph();
      } else {
        OpenParagraph(ParagraphAlignment(tag));
      }
      return;
    }
    if (tag.Name == "BR") {
      if (!FInParagraph) OpenParagraph("left");
      FOut += "<br />";
      return;
    }
    if (tag.Closing) {
      CloseInline(tag.Name);
      return;
    }
    TOpen element{tag.Name, {}, {}};
    if (tag.Name == "FONT") {
      element.Opening = QString("<span style=\"%1\">").arg(FontStyle(tag, FBackground));
      element.Closing = "</span>";
    } else if (tag.Name == "B") {
      element.Opening = "<b>";
      element.Closing = "</b>";
    } else if (tag.Name == "U") {
      element.Opening = "<u>";
      element.Closing = "</u>";
    } else if (tag.Name == "A") {
      element.Opening = QString("<a href=\"%1\" style=\"color:%2;\">")
                            .arg(EscapeAttribute(Attribute(tag, "HREF")), FLinkColor.name());
      element.Closing = "</a>";
    } else {
      return;  // not part of the dialect
    }
    FStack.push_back(element);
    if (FInParagraph) FOut += element.Opening;
  }

  void OpenParagraph(const QString& align) {
    CloseParagraph();
    FOut += QString("<p align=\"%1\" style=\"%2\">").arg(align, kParagraphStyle);
    FInParagraph = true;
    for (const TOpen& element : FStack) FOut += element.Opening;
  }

  void CloseParagraph() {
    if (!FInParagraph) return;
    for (auto it = FStack.rbegin(); it != FStack.rend(); ++it) FOut += it->Closing;
    FOut += "</p>";
    FInParagraph = false;
  }

  void CloseInline(const QString& name) {
    auto found = std::find_if(FStack.rbegin(), FStack.rend(),
                              [&](const TOpen& element) { return element.Name == name; });
    if (found == FStack.rend()) return;  // nothing of that name is open
    const auto index = static_cast<std::size_t>(std::distance(found, FStack.rend()) - 1);
    std::vector<TOpen> reopen(FStack.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                              FStack.end());
    if (FInParagraph) {
      for (std::size_t k = FStack.size(); k > index; --k) FOut += FStack[k - 1].Closing;
    }
    FStack.resize(index);
    for (const TOpen& element : reopen) {
      FStack.push_back(element);
      if (FInParagraph) FOut += element.Opening;
    }
  }

  QColor FLinkColor;
  QColor FBackground;
  QString FOut;
  bool FInParagraph = false;
  std::vector<TOpen> FStack;
};

}  // namespace

QString HtmlDialectToRichText(const QString& text, const QColor& linkColor,
                              const QColor& background) {
  return TTranslator(linkColor, background).Run(text);
}

int HtmlDialectFontPoints(const QString& sizeValue) {
  bool ok = false;
  const int value = sizeValue.trimmed().toInt(&ok);
  if (!ok || value <= 0) return 0;
  static constexpr int kSteps[] = {8, 10, 12, 14, 16};
  if (value <= 5) return kSteps[value - 1];
  return std::min(value, 400);
}

bool IsExternalLinkTarget(const QString& target) {
  return target.contains("://") || target.contains("mailto:", Qt::CaseInsensitive);
}

// The two markers in the 10 pixels on the right of the view.
class TMiniScrollMarkers : public QWidget {
 public:
  explicit TMiniScrollMarkers(THtmlTextView* view) : QWidget(view), FView(view) {
    FRepeat.setInterval(40);
    QObject::connect(&FRepeat, &QTimer::timeout, this, [this] { FView->MiniScrollBy(FDirection); });
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(99, 148, 198));
    const int w = THtmlTextView::kMiniScrollWidth;
    if (FView->UpperMarkerShown()) {
      painter.drawPolygon(
          QPolygonF({QPointF(w / 2.0, 2), QPointF(w - 1, w - 2), QPointF(1, w - 2)}));
    }
    if (FView->LowerMarkerShown()) {
      const double top = height() - w;
      painter.drawPolygon(
          QPolygonF({QPointF(1, top + 2), QPointF(w - 1, top + 2), QPointF(w / 2.0, top + w - 2)}));
    }
  }

  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    const int w = THtmlTextView::kMiniScrollWidth;
    const QPoint pos = event->position().toPoint();
    FDirection = 0;
    if (pos.y() < w && FView->UpperMarkerShown()) FDirection = -1;
    if (pos.y() >= height() - w && FView->LowerMarkerShown()) FDirection = 1;
    if (FDirection == 0) return;
    FView->MiniScrollBy(FDirection);
    if (FView->AutoScroll()) FRepeat.start();
  }

  void mouseReleaseEvent(QMouseEvent*) override { FRepeat.stop(); }

 private:
  THtmlTextView* FView;
  QTimer FRepeat;
  int FDirection = 0;
};

THtmlTextView::THtmlTextView(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  setFrameShape(QFrame::NoFrame);
  QPalette colours = palette();
  colours.setColor(QPalette::Link, FLinkColor);
  setPalette(colours);
  FMarkers = new TMiniScrollMarkers(this);
  FMarkers->hide();
  connect(this, &QTextBrowser::anchorClicked, this, &THtmlTextView::OpenLink);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, FMarkers, [this] { FMarkers->update(); });
  connect(verticalScrollBar(), &QScrollBar::rangeChanged, FMarkers, [this] { FMarkers->update(); });
  connect(document(), &QTextDocument::contentsChanged, this, [this] { UpdateMargins(); });
}

THtmlTextView::~THtmlTextView() = default;

void THtmlTextView::SetHTMLText(const QStringList& lines) {
  FHTMLText = lines;
  Retranslate();
}

void THtmlTextView::Retranslate() {
  setHtml(HtmlDialectToRichText(FHTMLText.join(QString()), FLinkColor,
                                palette().color(QPalette::Base)));
  verticalScrollBar()->setValue(0);
}

void THtmlTextView::changeEvent(QEvent* event) {
  QTextBrowser::changeEvent(event);
  // The text's colours were made for the old background; the reader keeps their place.
  if (event->type() == QEvent::PaletteChange && !FHTMLText.isEmpty()) {
    const int offset = ScrollOffset();
    Retranslate();
    verticalScrollBar()->setValue(offset);
  }
}

void THtmlTextView::SetMiniScroll(bool on) {
  FMiniScroll = on;
  setVerticalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
  FMarkers->setVisible(on);
  UpdateMargins();
}

void THtmlTextView::SetVAlignment(TTextVAlignment alignment) {
  FVAlignment = alignment;
  UpdateMargins();
}

void THtmlTextView::SetLinkColor(const QColor& color) {
  FLinkColor = color;
  QPalette colours = palette();
  colours.setColor(QPalette::Link, color);
  setPalette(colours);
  Retranslate();
}

int THtmlTextView::ScrollOffset() const {
  return verticalScrollBar()->value();
}

bool THtmlTextView::UpperMarkerShown() const {
  return ScrollOffset() > 0;
}

bool THtmlTextView::LowerMarkerShown() const {
  return ScrollOffset() < verticalScrollBar()->maximum();
}

void THtmlTextView::MiniScrollBy(int direction) {
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(std::max(0, bar->value() + direction * kMiniScrollStep));
}

void THtmlTextView::resizeEvent(QResizeEvent* event) {
  QTextBrowser::resizeEvent(event);
  UpdateMargins();
}

void THtmlTextView::UpdateMargins() {
  const int right = FMiniScroll ? kMiniScrollWidth : 0;
  int top = 0;
  if (FVAlignment != TTextVAlignment::tvaTop) {
    const int spare = viewport()->height() + viewportMargins().top() -
                      static_cast<int>(document()->size().height());
    if (spare > 0) top = FVAlignment == TTextVAlignment::tvaCenter ? spare / 2 : spare;
  }
  if (viewportMargins() != QMargins(0, top, right, 0)) setViewportMargins(0, top, right, 0);
  const QRect area = contentsRect();
  FMarkers->setGeometry(area.right() + 1 - kMiniScrollWidth, area.top(), kMiniScrollWidth,
                        area.height());
}

void THtmlTextView::keyPressEvent(QKeyEvent* event) {
  // Enter on a focused link is the browser's own; Space does the same here.
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection() && cursor.charFormat().isAnchor()) {
      emit anchorClicked(QUrl(cursor.charFormat().anchorHref()));
      return;
    }
  }
  QTextBrowser::keyPressEvent(event);
}

void THtmlTextView::OpenLink(const QUrl& url) {
  const QString target = url.toString();
  emit LinkActivated(target);
  if (IsExternalLinkTarget(target)) QDesktopServices::openUrl(url);
}

}  // namespace pennacrow
