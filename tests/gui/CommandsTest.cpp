// The write, read, encrypt, fractal and print commands of the main window, driven offscreen.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FormTest.h"
#include "app/EncryptForm.h"
#include "app/PennacrowForm.h"
#include "codec/Container.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "formats/PPMGraphic.h"
#include "picture/Bitmap.h"
#include "text/TextRules.h"

namespace pennacrow {
namespace {

class Commands : public test::TFormTest {
 protected:
  void SetUp() override {
    TFormTest::SetUp();
    Encrypt = std::make_unique<TEncryptForm>(Ui, Form.get());
    Form->SetEncryptForm(Encrypt.get());
    // The dialog closes itself as soon as it is shown, after an optional press.
    QObject::connect(Encrypt.get(), &QDialog::windowTitleChanged, [] {});
  }
  // The dialog is the window's child: it goes first, so that the window does not delete it too.
  void TearDown() override { Encrypt.reset(); }
  std::string Path(const char* name) const { return TFormTest::Path(name).toStdString(); }
  void LoadPicture(int width, int height, int bpp = 24) {
    TBitmap bitmap(width, height, bpp);
    if (bpp <= 8) bitmap.Palette().resize(std::size_t{1} << bpp, RGB(1, 2, 3));
    for (std::uint8_t& b : bitmap.MutableBits()) b = 0xA4;
    bitmap.SaveToFile(Path("carrier.bmp"));
    Ui.FileAnswers.push_back(QString::fromStdString(Path("carrier.bmp")));
    Form->FlatButton1Click();
  }
  // Runs the encryption dialog modally; while it is open, presses run, then it closes.
  void WhileDialogOpen(std::function<void()> run) {
    QMetaObject::invokeMethod(
        Encrypt.get(),
        [this, run] {
          run();
          Encrypt->FlatButton8Click();
        },
        Qt::QueuedConnection);
  }

  std::unique_ptr<TEncryptForm> Encrypt;
};

TEST_F(Commands, WriteThenReadGivesTheTextBackWithTheStatusTexts) {
  LoadPicture(64, 40);
  EXPECT_EQ(Form->StatusPanelText(1), "无隐藏数据或格式未知   ");
  Form->TextData->SetText(Utf8ToPayload("第一行\r\nsecond line"));
  Form->FlatButton6Click();
  EXPECT_EQ(Form->StatusPanelText(0), " 数据写入成功！           ");
  EXPECT_EQ(Form->StatusPanelText(1), "Pennacrow Ver 2.0，未加密        ");
  EXPECT_EQ(Form->DataFormat(), 1);
  Form->ClearTextBox1Click();
  Form->FlatButton4Click();
  EXPECT_EQ(Form->StatusPanelText(0), " 自此图像读取数据成功！  ");
  EXPECT_EQ(Form->TextData->toPlainText(), "第一行\nsecond line");
  EXPECT_EQ(Form->BitString(), "\xB5\xDA\xD2\xBB\xD0\xD0\r\nsecond line");
}

TEST_F(Commands, SavedPictureReadsBackAfterLoading) {
  LoadPicture(50, 30);
  Form->TextData->SetText("kept in the file");
  Form->FlatButton6Click();
  for (const char* name : {"out.bmp", "out.png"}) {
    Ui.FileAnswers.push_back(QString::fromStdString(Path(name)));
    Form->FlatButton2Click();
    Form->ClearTextBox1Click();
    Ui.FileAnswers.push_back(QString::fromStdString(Path(name)));
    Form->FlatButton1Click();
    EXPECT_EQ(Form->StatusPanelText(1), "Pennacrow Ver 2.0，未加密        ") << name;
    Form->FlatButton4Click();
    EXPECT_EQ(Form->TextData->Text(), "kept in the file") << name;
  }
}

TEST_F(Commands, TextThatDoesNotFitIsRefusedWithTheReason) {
  LoadPicture(16, 4);  // 64 bits: 5 bytes of text at most
  const std::vector<std::uint8_t> before(Form->Picture().PictureBitmap().Bits().begin(),
                                         Form->Picture().PictureBitmap().Bits().end());
  Form->TextData->SetText("too long for it");
  Form->FlatButton6Click();
  EXPECT_EQ(Form->StatusPanelText(0), " 数据写入失败！     ");
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_TRUE(Ui.Messages[0].contains("15"));
  const auto after = Form->Picture().PictureBitmap().Bits();
  EXPECT_TRUE(std::equal(after.begin(), after.end(), before.begin(), before.end()));
}

TEST_F(Commands, ReadingAPictureWithoutRoomForItsLengthFailsAndKeepsTheMemo) {
  LoadPicture(30, 2);
  // Low bits of row 0: format 1, then a length of 65535.
  std::uint8_t* row = Form->Picture().PictureBitmap().RowAt(0);
  for (int i = 0; i < 24; ++i) row[i] = (i == 7 || i >= 8) ? 1 : 0;
  Form->TextData->SetText("memo");
  Ui.YesNoAnswers = {true};  // no container: read the low bits anyway
  Form->FlatButton4Click();
  EXPECT_EQ(Form->StatusPanelText(0), " 自此图像读取数据失败！       ");
  EXPECT_EQ(Form->TextData->Text(), "memo");
  ASSERT_EQ(Ui.Messages.size(), 1u);  // with the reason
  EXPECT_TRUE(Ui.Messages[0].contains("隐藏数据不完整"));
}

TEST_F(Commands, EncryptDialogRoundTripAndFormatTwo) {
  LoadPicture(80, 60);
  Form->TextData->SetText("secret\r\ntext");
  Ui.InputAnswers = {QString("pw")};
  WhileDialogOpen([this] { Encrypt->FlatButton5Click(); });
  Form->FlatButton5Click();
  EXPECT_EQ(Form->DataFormat(), 2);
  const std::string armoured = Form->TextData->Text();
  EXPECT_NE(armoured, "secret\r\ntext");
  EXPECT_EQ(armoured.find('\r'), std::string::npos);  // one line of Base64

  Form->FlatButton6Click();
  EXPECT_EQ(Form->StatusPanelText(1), "Pennacrow Ver 2.0，已加密    ");
  Form->ClearTextBox1Click();
  // Reading a format 2 container opens the dialog with the armoured text; decrypt there.
  Ui.InputAnswers = {QString("pw")};
  std::string seenInDialog;
  WhileDialogOpen([this, &seenInDialog] {
    seenInDialog = Encrypt->Text();
    Encrypt->FlatButton9Click();
  });
  Form->FlatButton4Click();
  EXPECT_EQ(seenInDialog, armoured);
  EXPECT_EQ(Form->TextData->Text(), "secret\r\ntext");
  EXPECT_EQ(Form->DataFormat(), 1);  // the memo holds the plain text now
  EXPECT_EQ(Form->StatusPanelText(0), " 自此图像读取数据成功！  ");
}

TEST_F(Commands, OnlyTheUnchangedEncryptedTextIsWrittenAsFormatTwo) {
  LoadPicture(80, 60);
  Form->TextData->SetText("unchanged");
  // A dialog closed without encrypting (the password was cancelled, an empty one declined).
  for (const std::optional<QString>& password :
       {std::optional<QString>(), std::optional<QString>("")}) {
    Ui.InputAnswers = {password};
    WhileDialogOpen([this] { Encrypt->FlatButton5Click(); });
    Form->FlatButton5Click();
    EXPECT_EQ(Form->TextData->Text(), "unchanged");
    Form->FlatButton6Click();
    EXPECT_EQ(Form->DataFormat(), 1);
  }
  EXPECT_EQ(Ui.Confirmations.size(), 1u);  // the empty password was asked about
  // Encrypted, then edited: plain again.
  Ui.InputAnswers = {QString("pw")};
  WhileDialogOpen([this] { Encrypt->FlatButton5Click(); });
  Form->FlatButton5Click();
  Form->TextData->appendPlainText("edited");
  Form->FlatButton6Click();
  EXPECT_EQ(Form->StatusPanelText(1), "Pennacrow Ver 2.0，未加密        ");
}

TEST_F(Commands, AWrongPasswordKeepsTheArmouredTextAndEveryReplacementUndoes) {
  LoadPicture(80, 60);
  Form->TextData->SetText("typed");
  Ui.InputAnswers = {QString("right"), QString("wrong")};
  std::string armoured;
  WhileDialogOpen([this, &armoured] {
    Encrypt->FlatButton5Click();
    armoured = Encrypt->Text();
    Encrypt->FlatButton9Click();
  });
  Form->FlatButton5Click();
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_TRUE(Ui.Messages[0].contains("密码可能不对"));
  EXPECT_EQ(Encrypt->Text(), armoured);
  EXPECT_EQ(Form->TextData->Text(), armoured);
  EXPECT_EQ(Form->DataFormat(), 2);
  Encrypt->EncryptMemo->undo();
  EXPECT_EQ(Encrypt->Text(), "typed");
  Form->TextData->undo();
  EXPECT_EQ(Form->TextData->Text(), "typed");
}

TEST_F(Commands, ReadingWithoutAContainerAsksFirstAndCanBeUndone) {
  LoadPicture(64, 40);  // every low bit 0: no container
  Form->TextData->SetText("typed by the user");
  Form->FlatButton4Click();  // unanswered: No, the default
  ASSERT_EQ(Ui.Questions.size(), 1u);
  EXPECT_EQ(Form->TextData->Text(), "typed by the user");
  EXPECT_EQ(Form->StatusPanelText(0), "");
  Ui.YesNoAnswers = {true};
  Form->FlatButton4Click();
  // Done as asked, but nothing hidden was there: no success, and an undo takes the note back.
  EXPECT_EQ(Form->StatusPanelText(0), " 已读出最低位（没有隐藏文本）");
  EXPECT_EQ(Form->TextData->Text(), "");
  Form->TextData->undo();
  EXPECT_EQ(Form->TextData->Text(), "typed by the user");
  EXPECT_EQ(Form->StatusPanelText(0), "");
}

TEST_F(Commands, ClosingWithAnUnsavedWriteAsks) {
  Form->show();
  LoadPicture(50, 30);
  Form->TextData->SetText("unsaved");
  Form->FlatButton6Click();
  Ui.UnsavedAnswers = {TUnsavedAnswer::Cancel};
  Form->FlatButton8Click();
  EXPECT_TRUE(Form->isVisible());
  Ui.UnsavedAnswers = {TUnsavedAnswer::Save};
  Ui.FileAnswers.push_back(QString::fromStdString(Path("saved.bmp")));
  Form->FlatButton8Click();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_TRUE(std::filesystem::exists(Path("saved.bmp")));
  EXPECT_EQ(Ui.Questions.size(), 2u);
  // Saved since: closes without a question.
  Form->show();
  Form->FlatButton8Click();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Ui.Questions.size(), 2u);
}

TEST_F(Commands, SaveNamesGetTheFiltersExtensionOtherExtensionsAreRefused) {
  LoadPicture(30, 20);
  Ui.FilterAnswers = {1, 0};
  Ui.FileAnswers = {QString::fromStdString(Path("noext")),
                    QString::fromStdString(Path("photo.jpg"))};
  Form->FlatButton2Click();
  EXPECT_TRUE(std::filesystem::exists(Path("noext.png")));
  EXPECT_EQ(Form->StatusPanelText(0), " 图像已保存：noext.png");
  Form->FlatButton2Click();
  EXPECT_FALSE(std::filesystem::exists(Path("photo.jpg")));
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_TRUE(Ui.Messages[0].contains(".bmp") && Ui.Messages[0].contains(".png"));
}

TEST_F(Commands, DropsLoadPicturesAnywhereAndTextFilesOnTheMemo) {
  TBitmap bitmap(12, 8, 24);
  bitmap.SaveToFile(Path("dropped.bmp"));
  { std::ofstream(Path("note.txt"), std::ios::binary) << "dropped text"; }
  Form->TextData->SetText("before");
  auto drop = [this](const char* name) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path(name)))});
    // As a drag does it: the drop goes to the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Form->TextData->viewport(), &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Form->TextData->viewport(), &event);
  };
  drop("note.txt");
  EXPECT_EQ(Form->TextData->Text(), "dropped text");
  drop("dropped.bmp");
  EXPECT_EQ(Form->TextData->Text(), "dropped text");  // no file:// path in the text
  EXPECT_EQ(Form->Picture().PictureWidth(), 12);
  Form->TextData->undo();
  EXPECT_EQ(Form->TextData->Text(), "before");
}

TEST_F(Commands, TheDecryptButtonOpensTheEncryptionDialog) {
  LoadPicture(20, 10);
  bool shown = false;
  WhileDialogOpen([this, &shown] { shown = Encrypt->isVisible(); });
  Form->FlatButton9->click();
  EXPECT_TRUE(shown);
}

TEST_F(Commands, FractalMenuPaintsEnablesAndShowsTheNewCapacity) {
  EXPECT_FALSE(Form->FlatButton6->isEnabled());
  // Six fractals, then a separator, "检测风险" and "隐蔽写入".
  ASSERT_EQ(Form->ImagePopup->actions().size(), 9);
  EXPECT_EQ(Form->ImagePopup->BandTitle(), "不规则图形");
  EXPECT_EQ(Form->ImagePopup->actions()[0]->text(), "创建 芒德勃罗 不规则位图图像");
  Form->Picture().ControlWidth = 120;
  Form->Picture().ControlHeight = 80;
  Form->ImagePopup->actions()[3]->trigger();  // fern
  EXPECT_TRUE(Form->FlatButton6->isEnabled());
  EXPECT_EQ(Form->Picture().PictureWidth(), 120);
  EXPECT_EQ(Form->Picture().PictureBitmap().BitsPerPixel(), 24);
  EXPECT_EQ(Form->StatusPanelText(2), "数据大小：  1200");
  EXPECT_TRUE(Ui.Messages.empty());
  // A text written into it reads back.
  Form->TextData->SetText("in a fern");
  Form->FlatButton6Click();
  Form->FlatButton4Click();
  EXPECT_EQ(Form->TextData->Text(), "in a fern");
}

TEST_F(Commands, PngSaveWarnsBeforeLosingTheContainerOfA32BitPicture) {
  LoadPicture(40, 20, 32);
  Form->TextData->SetText("hidden");
  Form->FlatButton6Click();
  Ui.FileAnswers.push_back(QString::fromStdString(Path("cancelled.png")));
  Ui.ConfirmAnswers = {false};
  Form->FlatButton2Click();
  ASSERT_EQ(Ui.Confirmations.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(Path("cancelled.png")));
  Ui.FileAnswers.push_back(QString::fromStdString(Path("accepted.png")));
  Ui.ConfirmAnswers = {true};
  Form->FlatButton2Click();
  EXPECT_TRUE(std::filesystem::exists(Path("accepted.png")));
  // BMP keeps the layout and asks nothing.
  Ui.FileAnswers.push_back(QString::fromStdString(Path("kept.bmp")));
  Form->FlatButton2Click();
  EXPECT_EQ(Ui.Confirmations.size(), 2u);
}

// Reads a PPM that pdftoppm wrote.
TBitmap ReadPpm(const std::string& fileName) {
  TPPMGraphic ppm;
  ppm.LoadFromFile(fileName);
  return *ppm.GetBitmap();
}

TEST_F(Commands, PrintingFillsTheFittedRectangleAtTheTopLeft) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "no pdftoppm";
  // A wide picture, red on the left half and blue on the right.
  TBitmap bitmap(80, 40, 24);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 80; ++x) bitmap.SetPixel(x, y, x < 40 ? RGB(255, 0, 0) : RGB(0, 0, 255));
  bitmap.SaveToFile(Path("print.bmp"));
  Ui.FileAnswers.push_back(QString::fromStdString(Path("print.bmp")));
  Form->FlatButton1Click();
  for (int percent : {25, 50, 75, 100}) {
    const std::string pdf = Path("page.pdf");
    PrintInto(QString::fromStdString(pdf));
    Form->PrintAtScale(percent);
    ASSERT_TRUE(std::filesystem::exists(pdf));
    ASSERT_EQ(std::system(("pdftoppm -r 20 " + pdf + " " + Path("page") + " -singlefile").c_str()),
              0);
    const TBitmap page = ReadPpm(Path("page.ppm"));
    // The picture is as wide as the page times the percentage, half as high, at the top left.
    int redWidth = 0;
    while (redWidth < page.Width() && page.GetPixel(redWidth, 0).Red > 128) ++redWidth;
    const double expected = page.Width() * percent / 100.0 / 2.0;
    EXPECT_NEAR(redWidth, expected, 2.0) << percent;
    int height = 0;
    while (height < page.Height() && page.GetPixel(0, height).Red > 128 &&
           page.GetPixel(0, height).Green < 128)
      ++height;
    EXPECT_NEAR(height, page.Width() * percent / 100.0 / 2.0, 2.0) << percent;
    std::filesystem::remove(pdf);
  }
}

TEST_F(Commands, PrintingWithNoPictureOpensNoJob) {
  PrintInto(QString::fromStdString(Path("none.pdf")));
  Form->TitledPopupMenu2->actions()[0]->trigger();
  EXPECT_FALSE(std::filesystem::exists(Path("none.pdf")));
  EXPECT_TRUE(Ui.Messages.empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  ASSERT_EQ(Form->TitledPopupMenu2->actions().size(), 7);
  EXPECT_EQ(Form->TitledPopupMenu2->actions()[3]->text(), "以 100% 比例打印");
  EXPECT_EQ(Form->TitledPopupMenu2->actions()[4]->text(), "打印预览");
  EXPECT_TRUE(Form->TitledPopupMenu2->actions()[5]->isSeparator());
  EXPECT_EQ(Form->TitledPopupMenu2->actions()[6]->text(), "配置打印机");
}

TEST_F(Commands, CapacityMeterFollowsTextAndPictureAndTurnsRedWhenTooLong) {
  auto meter = [this] {
    QCoreApplication::processEvents();
    return Form->CapacityMeter->text();
  };
  EXPECT_EQ(meter(), "");  // nothing to measure against yet
  LoadPicture(100, 50);    // 625 bytes
  EXPECT_EQ(meter(), "已用 3 / 625 字节（密封 63）");
  Form->TextData->SetText(Utf8ToPayload("中文"));
  EXPECT_EQ(meter(), "已用 7 / 625 字节（密封 69）");
  Form->TextData->SetText(std::string(622, 'x'));
  EXPECT_EQ(meter(), "已用 625 / 625 字节（密封 685）");
  const auto ink = [this] { return Form->CapacityMeter->palette().color(QPalette::WindowText); };
  EXPECT_LT(ink().red() - ink().green(), 40);
  Form->TextData->SetText(std::string(623, 'x'));
  EXPECT_EQ(meter(), "已用 626 / 625 字节（密封 686）");
  EXPECT_GT(ink().red() - ink().green(), 100);
  // The status panels are not the meter's.
  EXPECT_EQ(Form->StatusPanelText(0), "");
}

TEST_F(Commands, VerifiedSaveWarnsOnlyWhenTheTextIsLostUnannounced) {
  LoadPicture(40, 20, 32);
  Form->TextData->SetText("hidden");
  Form->FlatButton6Click();
  // The user accepted the PNG warning: no second message.
  Ui.FileAnswers.push_back(QString::fromStdString(Path("lossy.png")));
  Ui.ConfirmAnswers = {true};
  Form->FlatButton2Click();
  EXPECT_EQ(Ui.Confirmations.size(), 1u);
  EXPECT_TRUE(Ui.Messages.empty());
  // 24 bits survive both writers: nothing to say.
  LoadPicture(40, 20, 24);
  Form->FlatButton6Click();
  for (const char* name : {"ok.bmp", "ok.png"}) {
    Ui.FileAnswers.push_back(QString::fromStdString(Path(name)));
    Form->FlatButton2Click();
  }
  EXPECT_TRUE(Ui.Messages.empty());
}

}  // namespace
}  // namespace pennacrow
