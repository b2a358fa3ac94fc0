// The main window from the keyboard, its layout on screens of every size, and commands that
// keep the event loop running while they work.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include "FormTest.h"
#include "app/PennacrowForm.h"
#include "app/PicturePreview.h"
#include "app/UserInterface.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "picture/Bitmap.h"

namespace pennacrow {
namespace {

class Desktop : public test::TFormTest {
 protected:
  void Load(int width, int height) {
    TBitmap bitmap(width, height, 24);
    std::uint8_t value = 0;
    for (std::uint8_t& b : bitmap.MutableBits()) b = value += 37;  // deflate has work to do
    bitmap.SaveToFile(Path("in.bmp").toStdString());
    Form->LoadPicture(Path("in.bmp"));
  }
  void ShowActive() {
    Form->show();
    QApplication::setActiveWindow(Form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  }
  bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    return QTest::qWaitFor(done, timeoutMs);
  }
};

TEST_F(Desktop, EveryToolButtonHasAKeyOfItsOwnANameAndADescription) {
  // The platform's keys for the jobs some buttons do; no other standard key may be taken.
  const QList<QKeySequence::StandardKey> conventions = {
      QKeySequence::Open, QKeySequence::Save, QKeySequence::Print, QKeySequence::HelpContents,
      QKeySequence::Quit};
  for (const TFlatButton* button : Form->findChildren<TFlatButton*>()) {
    const QKeySequence key = button->shortcut();
    SCOPED_TRACE(key.toString().toStdString());
    EXPECT_TRUE(button->toolTip().contains(key.toString(QKeySequence::NativeText)));
    EXPECT_FALSE(button->accessibleDescription().isEmpty());
    for (int k = QKeySequence::HelpContents; k <= QKeySequence::Cancel; ++k) {
      const auto standard = QKeySequence::StandardKey(k);
      if (!conventions.contains(standard)) {
        EXPECT_FALSE(QKeySequence::keyBindings(standard).contains(key)) << k;
      }
    }
  }
  EXPECT_FALSE(Form->TextData->accessibleDescription().isEmpty());
}

TEST_F(Desktop, KeysWorkWhileTypingAndTabLeavesTheMemo) {
  Load(20, 10);  // saving waits for a picture
  ShowActive();
  Form->TextData->setFocus();
  // Through the window, as the window system delivers them: shortcuts are looked up first, and
  // a shortcut presses its button visibly, so the command follows a moment later.
  QTest::keyClick(Form->windowHandle(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([this] { return Ui.FileRequests.size() == 1; }));
  QTest::keyClick(Form->windowHandle(), Qt::Key_S, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([this] { return Ui.FileRequests.size() == 2; }));
  // Ctrl+Tab types a tab; Tab moves on to the buttons, Shift+Tab comes back.
  QTest::keyClick(Form->TextData, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(Form->TextData->toPlainText(), "\t");
  QTest::keyClick(Form->TextData, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), Form->TextData);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), Form->TextData);
  // Enter and Space press a focused button.
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
    const std::size_t asked = Ui.FileRequests.size();
    Form->FlatButton1->setFocus();
    QTest::keyClick(Form->FlatButton1, key);
    EXPECT_TRUE(WaitFor([&] { return Ui.FileRequests.size() == asked + 1; }));
  }
  // The print menu's button does not stay drawn pressed once its menu is gone.
  QTest::mousePress(Form->FlatButton7, Qt::LeftButton);
  EXPECT_TRUE(WaitFor([this] { return Form->TitledPopupMenu2->isVisible(); }));
  Form->TitledPopupMenu2->close();
  EXPECT_FALSE(Form->FlatButton7->isDown());
}

TEST_F(Desktop, ANewPictureLeavesNoPanelOfTheOldOne) {
  const std::function<void()> newPictures[] = {
      [this] { Form->LoadPicture(Path("in.bmp")); },
      [this] {
        Form->Picture().ControlWidth = 64;
        Form->Picture().ControlHeight = 48;
        Form->PaintFractalMenuItem(ftSierpinski);
      },
  };
  for (const auto& newPicture : newPictures) {
    Load(40, 30);
    Form->TextData->SetText("old news");
    Form->FlatButton6Click();
    ASSERT_EQ(Form->StatusPanelText(1), "Pennacrow Ver 2.0，未加密        ");
    TBitmap(40, 20, 24).SaveToFile(Path("in.bmp").toStdString());  // no container now
    Ui.UnsavedAnswers = {TUnsavedAnswer::Discard};
    newPicture();
    EXPECT_EQ(Form->StatusPanelText(0), "");
    EXPECT_EQ(Form->StatusPanelText(1), "无隐藏数据或格式未知   ");
    const int capacity = Form->Picture().PictureWidth() * Form->Picture().PictureHeight() / 8;
    EXPECT_EQ(Form->StatusPanelText(2), QString("数据大小：  %1").arg(capacity));
  }
}

TEST_F(Desktop, NothingOverlapsAtTheSmallestSizeAndTheWindowFitsAnyScreen) {
  ShowActive();
  Load(30, 20);
  auto box = [this](const QWidget* w) { return QRect(w->mapTo(Form.get(), QPoint()), w->size()); };
  // Every button shows whole (none behind the toolbar's extension), no panel covers another;
  // the toolbar and the status bar lay themselves out once the event loop gets to them.
  auto whole = [&] {
    QList<QRect> panels;
    for (QLabel* panel : Form->statusBar()->findChildren<QLabel*>()) {
      for (const QRect& other : panels) {
        if (box(panel).intersects(other)) return false;
      }
      panels << box(panel);
    }
    const auto buttons = Form->findChildren<TFlatButton*>();
    return panels.size() == 4 && Form->rect().contains(panels.back()) &&
           std::all_of(buttons.begin(), buttons.end(),
                       [&](auto* b) { return b->isVisible() && Form->rect().contains(box(b)); }) &&
           !box(Form->CapacityMeter).intersects(box(Form->TextData));
  };
  Form->resize(Form->minimumSize());
  EXPECT_TRUE(WaitFor([this] { return Form->size() == Form->minimumSize(); }));
  EXPECT_TRUE(WaitFor(whole));

  // A 1280 x 1024 screen at scale 1 and 2, a 640 x 480 one, a small one with a panel on the left.
  for (const QRect& available : {QRect(0, 0, 1280, 1000), QRect(0, 0, 640, 500),
                                 QRect(0, 0, 640, 480), QRect(48, 0, 752, 600)}) {
    Form->PlaceOnScreen(available);
    EXPECT_TRUE(available.contains(Form->geometry())) << available.width();
    EXPECT_TRUE(WaitFor(whole)) << available.width() << " x " << available.height();
  }
  // Back on a large screen the designed sizes hold again.
  Form->PlaceOnScreen(QRect(0, 0, 1280, 1000));
  EXPECT_EQ(Form->size(), QSize(839, 677));  // as designed where it fits
  EXPECT_GE(Form->minimumWidth(), 9 * 80);
}

TEST_F(Desktop, ThePreviewFitsTheScreenAndThePaneShowsOnlyTheLastChoice) {
  const struct {
    QSize Picture, Room, Shown;
  } cases[] = {
      {{4000, 3000}, {1264, 960}, {1264, 948}},
      {{100, 5000}, {800, 600}, {12, 600}},
      {{200, 100}, {1000, 1000}, {200, 100}},  // never enlarged
  };
  for (const auto& c : cases) EXPECT_EQ(PreviewPictureSize(c.Picture, c.Room), c.Shown);
  QImage picture(6000, 1000, QImage::Format_RGB32);
  const std::unique_ptr<QDialog> window = MakePreviewWindow(picture, Form.get());
  EXPECT_TRUE(Form->screen()->availableGeometry().contains(window->geometry()));

  TBitmap(300, 200, 24).SaveToFile(Path("a.bmp").toStdString());
  TBitmap(30, 20, 24).SaveToFile(Path("b.bmp").toStdString());
  QFileDialog dialog;
  AttachPicturePreview(dialog);
  auto shows = [&](const QString& text, int timeoutMs) {
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    auto shown = [&] {
      return std::any_of(labels.begin(), labels.end(), [&](auto* l) { return l->text() == text; });
    };
    return WaitFor(shown, timeoutMs);
  };
  emit dialog.currentChanged(Path("a.bmp"));  // decoded on a worker...
  emit dialog.currentChanged(Path("b.bmp"));  // ...and overtaken
  EXPECT_TRUE(shows(" (30x20)", 5000));       // the pane's first label is its caption
  EXPECT_FALSE(shows(" (300x200)", 300));
}

TEST_F(Desktop, APngSaveLeavesTheEventLoopRunningAndTheCommandsDisabled) {
  Load(1600, 1200);
  Form->TextData->SetText("saved while the window repaints");
  Form->FlatButton6Click();
  QSignalSpy busy(Form.get(), &TPennacrowForm::BusyChanged);
  int ticksWhileBusy = 0;
  bool disabledAndOpen = true;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (!Form->IsBusy()) return;
    ++ticksWhileBusy;
    disabledAndOpen = disabledAndOpen && !Form->FlatButton1->isEnabled() &&
                      !Form->FlatButton8->isEnabled() && !Form->close();
  });
  ticker.start(1);
  Ui.FileAnswers.push_back(Path("out.png"));
  Form->FlatButton2->click();
  EXPECT_GT(ticksWhileBusy, 0);
  EXPECT_TRUE(disabledAndOpen);
  EXPECT_EQ(busy.size(), 2);
  EXPECT_TRUE(Form->FlatButton1->isEnabled());
  EXPECT_TRUE(Ui.Messages.empty());  // the read-back found the text in the file
  EXPECT_TRUE(Form->StatusPanelText(0).contains("out.png"));
}

TEST(MessageText, LongPathsBreakSoChinesePunctuationNeverStartsALine) {
  const QString text = "图片已保存，但读回时找不到隐藏的文本：/home/" + QString(120, 'x') +
                       "/photo_2026.png。请换用 BMP 格式保存，或者改变颜色深度后再试。";
  QTextLayout layout(WithBreakOpportunities(text));
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);  // as a message box wraps while a word fits
  layout.setTextOption(option);
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(240);
    EXPECT_LE(line.naturalTextWidth(), 240);
    EXPECT_FALSE(QString("，。：）").contains(layout.text().at(line.textStart())));
  }
  layout.endLayout();
}

}  // namespace
}  // namespace pennacrow
