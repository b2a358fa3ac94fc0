#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <functional>
#include <vector>

#include "FakeUserInterface.h"
#include "app/EncryptForm.h"
#include "app/HelpForm.h"
#include "app/PennacrowForm.h"
#include "app/SplashForm.h"
#include "app/Startup.h"
#include "controls/FlatButton.h"
#include "controls/HtmlTextView.h"

// What QTest uses to press a key through the window system's shortcut path.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString& text,
                                               bool autorep, ushort count);

class TUrlRecorder : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> Opened;
 public slots:
  void Open(const QUrl& url) { Opened.push_back(url); }
};

namespace pennacrow {
namespace {

template <class T>
std::vector<T*> TopLevel() {
  std::vector<T*> found;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* typed = qobject_cast<T*>(widget)) found.push_back(typed);
  }
  return found;
}

// The first character format of the text's first run that contains `needle`.
QTextCharFormat FormatOf(const QTextDocument& document, const QString& needle) {
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      if (it.fragment().text().contains(needle)) return it.fragment().charFormat();
    }
  }
  ADD_FAILURE() << "no run contains " << needle.toStdString();
  return {};
}

QTextBlock BlockOf(const QTextDocument& document, const QString& needle) {
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block.text().contains(needle)) return block;
  }
  ADD_FAILURE() << "no paragraph contains " << needle.toStdString();
  return {};
}

constexpr Qt::Alignment kHorizontal = Qt::AlignLeft | Qt::AlignRight | Qt::AlignHCenter;

void Translate(QTextDocument& document, const QString& dialect) {
  document.setHtml(HtmlDialectToRichText(dialect));
}

// ---------------------------------------------------------------- the dialect

// No usable size (0 points): the text keeps its font.
TEST(HtmlDialect, FontSizesAreStepsOneToFiveElsePoints) {
  const std::pair<const char*, int> sizes[] = {{"1", 8},  {"2", 10}, {"3", 12},    {"4", 14},
                                               {"5", 16}, {"8", 8},  {" 12 ", 12}, {"6", 6},
                                               {"0", 0},  {"-2", 0}, {"big", 0},   {"", 0}};
  for (const auto& [size, points] : sizes) {
    EXPECT_EQ(HtmlDialectFontPoints(size), points) << '"' << size << '"';
  }
}
TEST(HtmlDialect, TitleTagsGiveAlignmentFaceColourSizeBoldAndUnderline) {
  QTextDocument document;
  Translate(
      document,
      R"(<P ALIGN="center"><FONT FACE="Tahoma" COLOR="#400080" SIZE="12"><B><U>Title</U></B></FONT></P>)"
      R"(<P ALIGN="left"><FONT FACE="Tahoma" SIZE="1">body</FONT></P>)");
  EXPECT_EQ(BlockOf(document, "Title").blockFormat().alignment() & kHorizontal, Qt::AlignHCenter);
  const QTextCharFormat title = FormatOf(document, "Title");
  EXPECT_TRUE(title.fontWeight() >= QFont::Bold);
  EXPECT_TRUE(title.fontUnderline());
  EXPECT_EQ(title.foreground().color(), QColor(0x40, 0x00, 0x80));
  EXPECT_EQ(title.fontPointSize(), 12);
  EXPECT_TRUE(title.fontFamilies().toStringList().contains("Tahoma"));
  EXPECT_EQ(BlockOf(document, "body").blockFormat().alignment() & kHorizontal, Qt::AlignLeft);
  const QTextCharFormat body = FormatOf(document, "body");
  EXPECT_EQ(body.fontPointSize(), 8);
  EXPECT_FALSE(body.fontUnderline());
}

TEST(HtmlDialect, NamesAreMatchedWithoutRegardToCase) {
  QTextDocument document;
  Translate(document, R"(<p AlIgN="RIGHT"><FoNt SiZe="2" color="red"><b>x</B></fOnT></p>)");
  EXPECT_EQ(BlockOf(document, "x").blockFormat().alignment() & kHorizontal, Qt::AlignRight);
  const QTextCharFormat x = FormatOf(document, "x");
  EXPECT_EQ(x.fontPointSize(), 10);
  EXPECT_EQ(x.foreground().color(), QColor(Qt::red));
  EXPECT_TRUE(x.fontWeight() >= QFont::Bold);
}

TEST(HtmlDialect, BreaksBlanksLineEndsAndUnknownTags) {
  QTextDocument document;
  // A line end in the text means nothing; every blank shows; BR breaks the line.
  Translate(document, "<P>高级 \n特性<BR>a  b<BLINK>c</BLINK> </P>");
  EXPECT_EQ(document.toPlainText(), QString("高级 特性\na  bc "));
}

TEST(HtmlDialect, OutOfOrderClosingKeepsTheOtherStyle) {
  QTextDocument document;
  Translate(document, "<P><B><U>both</B>under</U>plain</P>");
  EXPECT_TRUE(FormatOf(document, "both").fontWeight() >= QFont::Bold);
  EXPECT_TRUE(FormatOf(document, "both").fontUnderline());
  EXPECT_TRUE(FormatOf(document, "under").fontUnderline());
  EXPECT_FALSE(FormatOf(document, "under").fontWeight() >= QFont::Bold);
  EXPECT_FALSE(FormatOf(document, "plain").fontUnderline());
}

TEST(HtmlDialect, StrayMarkupStaysText) {
  QTextDocument document;
  Translate(document, "<P>1 < 2 & 3 > 0</P>");
  EXPECT_EQ(document.toPlainText(), "1 < 2 & 3 > 0");
  Translate(document, R"(<P><A HREF="x&quot;><script>">a</A></P>)");
  EXPECT_EQ(document.toPlainText(), "a");
}

TEST(HtmlDialect, LinksAreBlueUnlessSetOtherwise) {
  QTextDocument document;
  Translate(document,
            R"(<P><FONT COLOR="#400080"><A HREF="https://x.invalid/">link</A></FONT></P>)");
  const QTextCharFormat link = FormatOf(document, "link");
  EXPECT_TRUE(link.isAnchor());
  EXPECT_EQ(link.anchorHref(), "https://x.invalid/");
  EXPECT_EQ(link.foreground().color(), QColor(Qt::blue));
  document.setHtml(HtmlDialectToRichText(R"(<A HREF="mailto:a">m</A>)", QColor(0, 128, 0)));
  EXPECT_EQ(FormatOf(document, "m").foreground().color(), QColor(0, 128, 0));
}

TEST(HtmlDialect, OnlyUrlsAndMailGoToTheDesktop) {
  EXPECT_TRUE(IsExternalLinkTarget("https://x.invalid/"));
  EXPECT_TRUE(IsExternalLinkTarget("file:///usr/share/doc/pennacrow/README"));
  EXPECT_TRUE(IsExternalLinkTarget("mailto:someone"));
  EXPECT_FALSE(IsExternalLinkTarget("#top"));
  EXPECT_FALSE(IsExternalLinkTarget("readme.txt"));
}
// ---------------------------------------------------------------- the view

class HtmlTextView : public ::testing::Test {
 protected:
  void SetUp() override {
    QDesktopServices::setUrlHandler("pennacrow-test", &Recorder, "Open");
    View.resize(200, 60);
    View.SetMiniScroll(true);
    QStringList lines;
    for (int i = 0; i < 30; ++i) lines << QString("<P>line %1 </P>").arg(i);
    lines << R"(<P><A HREF="pennacrow-test://here">go</A> <A HREF="#inside">stay</A></P>)";
    View.SetHTMLText(lines);
    View.show();
    QCoreApplication::processEvents();
  }
  void TearDown() override { QDesktopServices::unsetUrlHandler("pennacrow-test"); }

  // Clicks the middle of the first run of `text`.
  void ClickText(const QString& text) {
    const int position = View.document()->toPlainText().indexOf(text);
    ASSERT_GE(position, 0);
    QTextCursor cursor(View.document());
    cursor.setPosition(position + 1);
    View.setTextCursor(cursor);
    View.ensureCursorVisible();
    const QPoint point = View.cursorRect(cursor).center();
    QMouseEvent press(QEvent::MouseButtonPress, point, View.viewport()->mapToGlobal(point),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, point, View.viewport()->mapToGlobal(point),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(View.viewport(), &press);
    QCoreApplication::sendEvent(View.viewport(), &release);
  }

  void ClickMarkerZone(bool upper) {
    const QPoint point(View.width() - 5, upper ? 5 : View.height() - 5);
    QWidget* zone = View.childAt(point);
    ASSERT_NE(zone, nullptr);
    const QPoint local = zone->mapFrom(&View, point);
    QMouseEvent press(QEvent::MouseButtonPress, local, zone->mapToGlobal(local), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, zone->mapToGlobal(local), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(zone, &press);
    QCoreApplication::sendEvent(zone, &release);
  }

  TUrlRecorder Recorder;
  THtmlTextView View;
};

TEST_F(HtmlTextView, MarkersShowWhereTextLiesAndScrollByFourPixels) {
  EXPECT_EQ(View.viewport()->geometry().right(),
            View.width() - 1 - THtmlTextView::kMiniScrollWidth);
  EXPECT_FALSE(View.verticalScrollBar()->isVisible());
  ASSERT_GT(View.verticalScrollBar()->maximum(), 8);
  EXPECT_EQ(View.ScrollOffset(), 0);
  EXPECT_FALSE(View.UpperMarkerShown());
  EXPECT_TRUE(View.LowerMarkerShown());

  ClickMarkerZone(false);
  EXPECT_EQ(View.ScrollOffset(), 4);
  EXPECT_TRUE(View.UpperMarkerShown());
  ClickMarkerZone(true);
  EXPECT_EQ(View.ScrollOffset(), 0);
  // With the upper marker hidden, its zone does nothing; the offset never goes below 0.
  ClickMarkerZone(true);
  EXPECT_EQ(View.ScrollOffset(), 0);
  View.MiniScrollBy(-1);
  EXPECT_EQ(View.ScrollOffset(), 0);

  View.verticalScrollBar()->setValue(View.verticalScrollBar()->maximum());
  EXPECT_FALSE(View.LowerMarkerShown());
  ClickMarkerZone(false);
  EXPECT_EQ(View.ScrollOffset(), View.verticalScrollBar()->maximum());
}

TEST_F(HtmlTextView, ClickedLinksOpenOnlyExternalTargets) {
  std::vector<QString> activated;
  QObject::connect(&View, &THtmlTextView::LinkActivated,
                   [&](const QString& target) { activated.push_back(target); });
  ClickText("go");
  ASSERT_EQ(Recorder.Opened.size(), 1u);
  EXPECT_EQ(Recorder.Opened[0], QUrl("pennacrow-test://here"));
  ClickText("stay");
  EXPECT_EQ(Recorder.Opened.size(), 1u);
  EXPECT_EQ(activated, (std::vector<QString>{"pennacrow-test://here", "#inside"}));
}

TEST_F(HtmlTextView, SpaceOnAFocusedLinkOpensIt) {
  const int position = View.document()->toPlainText().indexOf("go");
  QTextCursor cursor(View.document());
  cursor.setPosition(position);
  cursor.setPosition(position + 2, QTextCursor::KeepAnchor);
  View.setTextCursor(cursor);
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QCoreApplication::sendEvent(&View, &space);
  ASSERT_EQ(Recorder.Opened.size(), 1u);
  EXPECT_EQ(Recorder.Opened[0], QUrl("pennacrow-test://here"));
}

// ---------------------------------------------------------------- help window

TEST(HelpWindow, LayoutAndCaptions) {
  THelpForm form;
  EXPECT_EQ(HelpForm, &form);
  EXPECT_EQ(form.windowTitle(), "Pennacrow 帮助");
  EXPECT_EQ(form.size(), QSize(648, 632));
  EXPECT_EQ(form.Panel3->text(), "Pennacrow 上手指导");
  EXPECT_EQ(form.Panel3->height(), 27);
  EXPECT_TRUE(form.Panel3->font().bold());
  EXPECT_EQ(form.Panel3->font().pixelSize(), 14);
  EXPECT_EQ(form.Panel3->palette().color(QPalette::Window), QColor(99, 148, 198));
  EXPECT_EQ(form.Panel1->height(), 31);
  EXPECT_EQ(form.Button1->text(), "关闭(&C)");
  EXPECT_EQ(form.Button1->geometry(), QRect(213, 3, 75, 25));
  EXPECT_TRUE(form.t->MiniScroll());
  EXPECT_TRUE(form.t->AutoScroll());
  EXPECT_EQ(form.t->VAlignment(), TTextVAlignment::tvaTop);
  EXPECT_EQ(form.t->ShadowOffset(), 1);
}

TEST(HelpWindow, GuideLinesEachEndInOneBlank) {
  const QStringList& lines = HelpGuideLines();
  ASSERT_GE(lines.size(), 20);
  for (const QString& line : lines) {
    EXPECT_TRUE(line.endsWith(' ') && !line.endsWith("  ")) << line.toStdString();
  }
  // The closing part names no outside party.
  const QString whole = lines.join(QString());
  EXPECT_FALSE(whole.contains("http", Qt::CaseInsensitive));
  EXPECT_FALSE(whole.contains("www.", Qt::CaseInsensitive));
  EXPECT_FALSE(whole.contains('@'));
}

TEST(HelpWindow, SectionTitlesKeepTheirBlanksAndLinksAreBlue) {
  THelpForm form;
  const QTextDocument& guide = *form.t->document();
  const QString text = guide.toPlainText();
  EXPECT_TRUE(text.startsWith("Pennacrow v2.0 汉化版 上手指导"));
  for (const char* title : {"查看已保存的文件", "高级 特性", "加密／ 解密", "自动创建图像"}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(title))) << title;
    EXPECT_TRUE(FormatOf(guide, QString::fromUtf8(title).section(' ', 0, 0)).fontWeight() >=
                QFont::Bold)
        << title;
  }
  EXPECT_TRUE(text.contains("^_^"));
  EXPECT_EQ(FormatOf(guide, "上手指导").foreground().color(), QColor(0x40, 0x00, 0x80));
  EXPECT_EQ(FormatOf(guide, "欢迎使用").fontPointSize(), 8);
  int links = 0;
  for (QTextBlock block = guide.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      if (!it.fragment().charFormat().isAnchor()) continue;
      ++links;
      EXPECT_EQ(it.fragment().charFormat().foreground().color(), QColor(Qt::blue));
    }
  }
  EXPECT_EQ(links, 2);
}

class HelpCommand : public ::testing::Test {
 protected:
  // Clicks "帮助" and runs `inside` once the modal window is up.
  void OpenHelp(const std::function<void(THelpForm&)>& inside) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      ASSERT_NE(HelpForm, nullptr);
      EXPECT_TRUE(HelpForm->isModal() && HelpForm->isVisible());
      ran = true;
      inside(*HelpForm);
      if (HelpForm && HelpForm->isVisible()) HelpForm->reject();  // never hang the run
    });
    Form.FlatButton3->click();
    EXPECT_TRUE(ran);
    EXPECT_EQ(HelpForm, nullptr);
  }

  test::TFakeUserInterface Ui;
  TPennacrowForm Form{Ui};
};

TEST_F(HelpCommand, OpenedTwiceStartsAtTheTopBothTimes) {
  for (int round = 0; round < 2; ++round) {
    OpenHelp([&](THelpForm& help) {
      EXPECT_EQ(help.parent(), &Form);
      EXPECT_EQ(help.t->ScrollOffset(), 0) << "round " << round;
      help.resize(648, 200);  // short enough that the guide scrolls
      QCoreApplication::processEvents();
      help.t->verticalScrollBar()->setValue(help.t->verticalScrollBar()->maximum());
      EXPECT_GT(help.t->ScrollOffset(), 0) << "the guide should be longer than the window";
      help.Button1->click();
      EXPECT_EQ(help.result(), QDialog::Accepted);
    });
  }
  EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(HelpCommand, AltCClosesTheWindow) {
  bool closed = false;
  OpenHelp([&](THelpForm& help) {
    help.activateWindow();
    QCoreApplication::processEvents();
    EXPECT_TRUE(qt_sendShortcutOverrideEvent(help.windowHandle(), 0, Qt::Key_C, Qt::AltModifier,
                                             "c", false, 1));
    // A mnemonic presses the button as a short animated click.
    QElapsedTimer waited;
    waited.start();
    while (help.isVisible() && waited.elapsed() < 2000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    closed = !help.isVisible();
    EXPECT_EQ(help.result(), QDialog::Accepted);
  });
  EXPECT_TRUE(closed);
}

// ---------------------------------------------------------------- start-up

TEST(Splash, IsABorderlessWindowShowingOurPicture) {
  const QImage picture = SplashPicture();
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), QSize(176, 200));
  Tsplashform splash;
  EXPECT_EQ(splash.size(), QSize(176, 200));
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(splash.Image1->geometry(), QRect(0, 0, 176, 200));
  EXPECT_EQ(splash.Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
            picture.convertToFormat(QImage::Format_RGB32));
}

TEST(Splash, PauseComesFromTheEnvironmentButNeverGrows) {
  const QByteArray saved = qgetenv("PENNACROW_SPLASH_MS");
  qunsetenv("PENNACROW_SPLASH_MS");
  EXPECT_EQ(SplashMilliseconds(), 4000);
  qputenv("PENNACROW_SPLASH_MS", "250");
  EXPECT_EQ(SplashMilliseconds(), 250);
  qputenv("PENNACROW_SPLASH_MS", "0");
  EXPECT_EQ(SplashMilliseconds(), 0);
  for (const char* ignored : {"90000", "-5", "soon", ""}) {
    qputenv("PENNACROW_SPLASH_MS", ignored);
    EXPECT_EQ(SplashMilliseconds(), 4000) << ignored;
  }
  if (saved.isNull()) {
    qunsetenv("PENNACROW_SPLASH_MS");
  } else {
    qputenv("PENNACROW_SPLASH_MS", saved);
  }
}

// Watches the windows appear: records, when the splash is first shown, whether a main window
// already existed.
class TShowWatcher : public QObject {
 public:
  bool SplashShown = false;
  bool MainWindowExistedAtSplash = false;
  bool MainWindowShownWhileSplashAlive = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (qobject_cast<Tsplashform*>(watched) && !SplashShown) {
        SplashShown = true;
        MainWindowExistedAtSplash = !TopLevel<TPennacrowForm>().empty();
      }
      if (qobject_cast<TPennacrowForm*>(watched) && !TopLevel<Tsplashform>().empty()) {
        MainWindowShownWhileSplashAlive = true;
      }
    }
    return false;
  }
};

TEST(Startup, SplashFirstThenWindowsThenPauseThenLoopWithoutSplash) {
  test::TFakeUserInterface ui;
  TShowWatcher watcher;
  qApp->installEventFilter(&watcher);
  std::vector<int> sleeps;
  bool loopRan = false;

  TStartupOptions options;
  options.SplashMs = 30;
  options.Sleep = [&](int milliseconds) {
    sleeps.push_back(milliseconds);
    const auto splashes = TopLevel<Tsplashform>();
    ASSERT_EQ(splashes.size(), 1u);
    EXPECT_TRUE(splashes[0]->isVisible());
    // It was painted before the pause: its face is the picture, not an empty window.
    const QImage face = splashes[0]->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(face, SplashPicture().convertToFormat(QImage::Format_RGB32));
    const auto mains = TopLevel<TPennacrowForm>();
    ASSERT_EQ(mains.size(), 1u);
    EXPECT_FALSE(mains[0]->isVisible());
    const auto dialogs = mains[0]->findChildren<TEncryptForm*>();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_FALSE(dialogs[0]->isVisible());
    EXPECT_EQ(mains[0]->DataFormat(), 1);
  };
  options.EventLoop = [&] {
    loopRan = true;
    EXPECT_TRUE(TopLevel<Tsplashform>().empty());
    const auto mains = TopLevel<TPennacrowForm>();
    EXPECT_EQ(mains.size(), 1u);
    if (!mains.empty()) {
      EXPECT_TRUE(mains[0]->isVisible());
    }
    return 7;
  };

  EXPECT_EQ(RunStartup(ui, options), 7);
  qApp->removeEventFilter(&watcher);
  EXPECT_EQ(sleeps, std::vector<int>{30});
  EXPECT_TRUE(loopRan);
  EXPECT_TRUE(watcher.SplashShown);
  EXPECT_FALSE(watcher.MainWindowExistedAtSplash);
  EXPECT_FALSE(watcher.MainWindowShownWhileSplashAlive);
  // Nothing outlives the start-up.
  EXPECT_TRUE(TopLevel<TPennacrowForm>().empty());
}

}  // namespace
}  // namespace pennacrow

#include "ShellTest.moc"
