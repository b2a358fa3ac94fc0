// The main window from the keyboard, its layout on screens of every size, and commands that
// keep the event loop running while they work.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <filesystem>

#include "FakeUserInterface.h"
#include "app/PennacrowForm.h"
#include "app/PicturePreview.h"
#include "app/UserInterface.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "picture/Bitmap.h"

namespace pennacrow {
namespace {

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pennacrow-desk-XXXXXX";
    FDir = ::mkdtemp(pattern);
    Form = std::make_unique<TPennacrowForm>(Ui);
  }
  void TearDown() override {
    Form.reset();
    std::filesystem::remove_all(FDir);
  }
  QString Path(const char* name) const { return QString::fromStdString(FDir + "/" + name); }
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

  std::string FDir;
  test::TFakeUserInterface Ui;
  std::unique_ptr<TPennacrowForm> Form;
};

TEST_F(Desktop, EveryToolButtonHasAKeyANameAndADescription) {
  const struct {
    TFlatButton* Button;
    const char* Key;
    QKeySequence::StandardKey Convention;  // the platform's key for the same job, if any
  } cases[] = {
      {Form->FlatButton1, "Ctrl+O", QKeySequence::Open},
      {Form->FlatButton2, "Ctrl+S", QKeySequence::Save},
      {Form->FlatButton4, "Ctrl+R", QKeySequence::UnknownKey},
      {Form->FlatButton6, "Ctrl+M", QKeySequence::UnknownKey},
      {Form->FlatButton5, "Ctrl+L", QKeySequence::UnknownKey},
      {Form->FlatButton9, "Ctrl+Shift+L", QKeySequence::UnknownKey},
      {Form->FlatButton7, "Ctrl+P", QKeySequence::Print},
      {Form->FlatButton3, "F1", QKeySequence::HelpContents},
      {Form->FlatButton8, "Ctrl+Q", QKeySequence::Quit},
  };
  for (const auto& c : cases) {
    const QKeySequence key(QString::fromLatin1(c.Key));
    SCOPED_TRACE(c.Key);
    EXPECT_EQ(c.Button->shortcut(), key);
    EXPECT_TRUE(c.Button->toolTip().contains(key.toString(QKeySequence::NativeText)));
    EXPECT_EQ(c.Button->accessibleName(), c.Button->text());
    EXPECT_FALSE(c.Button->accessibleDescription().isEmpty());
    EXPECT_EQ(c.Button->focusPolicy(), Qt::TabFocus);
    // No key of another job on this platform, such as the memo's editing keys.
    for (int k = QKeySequence::HelpContents; k <= QKeySequence::Cancel; ++k) {
      if (k == c.Convention) continue;
      EXPECT_FALSE(QKeySequence::keyBindings(QKeySequence::StandardKey(k)).contains(key)) << k;
    }
  }
  EXPECT_FALSE(Form->TextData->accessibleName().isEmpty());
  EXPECT_FALSE(Form->TextData->accessibleDescription().isEmpty());
}

TEST_F(Desktop, KeysWorkWhileTypingAndTabLeavesTheMemo) {
  ShowActive();
  Form->TextData->setFocus();
  // Through the window, as the window system delivers them: shortcuts are looked up first.
  // A shortcut presses its button visibly, so the command follows a moment later.
  QTest::keyClick(Form->windowHandle(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Ui.FileRequests.size() == 1; }));
  QTest::keyClick(Form->windowHandle(), Qt::Key_S, Qt::ControlModifier);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Ui.FileRequests.size() == 2; }));
  EXPECT_EQ(Ui.FileRequests[0].Caption, "打开");
  EXPECT_EQ(Ui.FileRequests[1].Caption, "另存为");
  // Ctrl+Tab types a tab; Tab moves on, Shift+Tab comes back.
  QTest::keyClick(Form->TextData, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(Form->TextData->toPlainText(), "\t");
  QTest::keyClick(Form->TextData, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), Form->TextData);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), Form->TextData);
  // Every enabled toolbar button is on the Tab chain, and Enter or Space presses it.
  for (QWidget* w = Form->TextData->nextInFocusChain(); w != Form->TextData;
       w = w->nextInFocusChain()) {
    if (w == Form->FlatButton1) {
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        w->setFocus();
        QTest::keyClick(w, key);
        const std::size_t expected = key == Qt::Key_Return ? 3 : 4;
        EXPECT_TRUE(QTest::qWaitFor([&] { return Ui.FileRequests.size() == expected; }));
      }
      return;
    }
  }
  ADD_FAILURE() << "the load button is not on the focus chain";
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
    ASSERT_FALSE(Form->StatusPanelText(0).isEmpty());
    // The old file is now a plain picture again.
    TBitmap(40, 20, 24).SaveToFile(Path("in.bmp").toStdString());
    newPicture();
    EXPECT_EQ(Form->StatusPanelText(0), "");
    EXPECT_EQ(Form->StatusPanelText(1), "无隐藏数据或格式未知   ");
    EXPECT_EQ(Form->StatusPanelText(2),
              QString("数据大小：  %1")
                  .arg(Form->Picture().PictureWidth() * Form->Picture().PictureHeight() / 8));
  }
}

TEST_F(Desktop, AtTheSmallestSizeNothingOverlapsAndTheMeterCoversNoText) {
  ShowActive();
  Load(30, 20);
  Form->resize(Form->minimumSize());
  EXPECT_TRUE(QTest::qWaitFor([this] { return Form->size() == Form->minimumSize(); }));
  QApplication::processEvents();
  auto box = [this](const QWidget* w) { return QRect(w->mapTo(Form.get(), QPoint()), w->size()); };
  const QRect window = Form->rect();
  QList<QRect> panels;
  for (QLabel* panel : Form->statusBar()->findChildren<QLabel*>()) {
    const QRect r = box(panel);
    EXPECT_TRUE(window.contains(r)) << panel->text().toStdString();
    for (const QRect& other : panels) EXPECT_FALSE(r.intersects(other));
    panels << r;
  }
  EXPECT_EQ(panels.size(), 4);
  for (TFlatButton* b : Form->findChildren<TFlatButton*>()) EXPECT_TRUE(window.contains(box(b)));
  EXPECT_FALSE(Form->CapacityMeter->text().isEmpty());
  EXPECT_TRUE(window.contains(box(Form->CapacityMeter)));
  EXPECT_FALSE(box(Form->CapacityMeter).intersects(box(Form->TextData)));
}

TEST_F(Desktop, TheWindowFitsTheScreenAtAnyScale) {
  // A 1280 x 1024 screen at scale 1 and 2, and a small screen with its panel on the left.
  for (const QRect& available :
       {QRect(0, 0, 1280, 1000), QRect(0, 0, 640, 500), QRect(48, 0, 752, 600)}) {
    Form->PlaceOnScreen(available);
    EXPECT_TRUE(available.contains(Form->geometry())) << available.width();
    EXPECT_LE(Form->minimumWidth(), Form->width());
  }
  Form->PlaceOnScreen(QRect(0, 0, 1280, 1000));
  EXPECT_EQ(Form->size(), QSize(839, 677));  // as designed where it fits
}

TEST(PicturePreview, TheWindowFitsTheScreenScaledDownWithItsAspect) {
  const struct {
    QSize Picture, Room, Shown;
  } cases[] = {
      {{4000, 3000}, {1200, 900}, {1200, 900}},
      {{4000, 3000}, {1264, 960}, {1264, 948}},
      {{100, 5000}, {800, 600}, {12, 600}},
      {{200, 100}, {1000, 1000}, {200, 100}},  // never enlarged
      {{0, 0}, {100, 100}, {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(PreviewPictureSize(c.Picture, c.Room), c.Shown);
  QImage picture(6000, 1000, QImage::Format_RGB32);
  picture.fill(Qt::red);
  QWidget parent;
  const std::unique_ptr<QDialog> window = MakePreviewWindow(picture, &parent);
  const QSize screen = parent.screen()->availableGeometry().size();
  EXPECT_LE(window->width(), screen.width());
  EXPECT_LE(window->height(), screen.height());
  const QPixmap shown = window->findChild<QLabel*>("PreviewPicture")->pixmap();
  EXPECT_NEAR(double(shown.width()) / shown.height(), 6.0, 0.05);
}

TEST(PicturePreview, ThePaneDecodesOffTheGuiThreadAndKeepsOnlyTheLastChoice) {
  char pattern[] = "/tmp/pennacrow-pane-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  TBitmap(300, 200, 24).SaveToFile(dir + "/a.bmp");
  TBitmap(30, 20, 24).SaveToFile(dir + "/b.bmp");
  QFileDialog dialog;
  AttachPicturePreview(dialog);
  auto caption = [&dialog](const QString& text, int timeoutMs = 5000) {
    auto shown = [&] {
      for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text() == text) return true;
      }
      return false;
    };
    return QTest::qWaitFor(shown, timeoutMs);
  };
  emit dialog.currentChanged(QString::fromStdString(dir + "/a.bmp"));
  emit dialog.currentChanged(QString::fromStdString(dir + "/b.bmp"));
  EXPECT_TRUE(caption(" (30x20)"));
  EXPECT_FALSE(caption(" (300x200)", 300));  // the first choice's late answer is not shown
  emit dialog.currentChanged(QString::fromStdString(dir + "/missing.bmp"));
  EXPECT_TRUE(caption("（无）"));
  std::filesystem::remove_all(dir);
}

TEST_F(Desktop, APngSaveLeavesTheEventLoopRunningAndTheCommandsDisabled) {
  Load(1600, 1200);
  Form->TextData->SetText("saved while the window repaints");
  Form->FlatButton6Click();
  QSignalSpy busy(Form.get(), &TPennacrowForm::BusyChanged);
  int ticksWhileBusy = 0;
  bool commandsDisabled = true;
  bool closeRefused = true;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (!Form->IsBusy()) return;
    ++ticksWhileBusy;
    commandsDisabled = commandsDisabled && !Form->FlatButton1->isEnabled() &&
                       !Form->FlatButton6->isEnabled() && !Form->FlatButton8->isEnabled();
    closeRefused = closeRefused && !Form->close();
  });
  ticker.start(1);
  Ui.FileAnswers.push_back(Path("out.png"));
  Form->FlatButton2->click();
  ticker.stop();
  EXPECT_GT(ticksWhileBusy, 0);
  EXPECT_TRUE(commandsDisabled);
  EXPECT_TRUE(closeRefused);
  ASSERT_EQ(busy.size(), 2);
  EXPECT_TRUE(busy[0][0].toBool());
  EXPECT_FALSE(busy[1][0].toBool());
  EXPECT_TRUE(Form->FlatButton1->isEnabled());
  EXPECT_TRUE(Ui.Messages.empty());  // and the saved file kept the text
  EXPECT_TRUE(Form->StatusPanelText(0).contains("out.png"));
}

TEST_F(Desktop, AFailingLoadIsReportedOnTheGuiThreadAndEnablesAgain) {
  Form->FlatButton1->click();  // the fake dialog was cancelled: nothing
  Ui.FileAnswers.push_back(Path("missing.bmp"));
  Form->FlatButton1->click();
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_FALSE(Form->IsBusy());
  EXPECT_TRUE(Form->FlatButton1->isEnabled());
  EXPECT_FALSE(Form->BusyIndicator->isVisible());
}

TEST_F(Desktop, ThePrintButtonLooksNormalAfterItsMenuCloses) {
  ShowActive();
  QTest::mousePress(Form->FlatButton7, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([this] { return Form->TitledPopupMenu2->isVisible(); }));
  Form->TitledPopupMenu2->close();
  EXPECT_FALSE(Form->FlatButton7->isDown());
}

TEST(SaveDialog, ANameWithoutExtensionGetsALowerCaseOne) {
  char pattern[] = "/tmp/pennacrow-dlg-XXXXXX";
  const QString dir = QString::fromLatin1(::mkdtemp(pattern));
  TFileDialogRequest request;
  request.Filter = "位图(*.bmp)|*.bmp|可移植的网络图片(*.png)|*.png|全部文件|*.*";
  request.DefaultExt = "BMP";
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      dialog->selectFile(dir + "/picture");
      static_cast<QDialog*>(dialog)->accept();
    }
  });
  answer.start(10);
  const std::optional<QString> chosen = DefaultUserInterface().SaveFile(nullptr, request, nullptr);
  std::filesystem::remove_all(dir.toStdString());
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, dir + "/picture.bmp");
}

TEST(MessageText, LongPathsBreakSoChinesePunctuationNeverStartsALine) {
  const QString text = "图片已保存，但读回时找不到隐藏的文本：/home/user/" + QString(120, 'x') +
                       "/photo_2026_12_09.png。请换用 BMP 格式保存，或者改变颜色深度后再试。";
  QTextLayout layout(WithBreakOpportunities(text));
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);  // as a message box wraps while a word fits
  layout.setTextOption(option);
  constexpr int kWidth = 240;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(kWidth);
    EXPECT_LE(line.naturalTextWidth(), kWidth);
    EXPECT_FALSE(QString("，。：）").contains(layout.text().at(line.textStart())));
  }
  layout.endLayout();
}

}  // namespace
}  // namespace pennacrow
