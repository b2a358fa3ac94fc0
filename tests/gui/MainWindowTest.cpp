#include <gtest/gtest.h>

#include <QMenu>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FormTest.h"
#include "app/PennacrowForm.h"
#include "app/UserInterface.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "picture/Bitmap.h"

namespace pennacrow {
namespace {

class MainWindow : public test::TFormTest {
 protected:
  // A 24-bit picture saved as BMP, ready to be loaded.
  QString MakePicture(const char* name, int width, int height, int bpp = 24) {
    TBitmap bitmap(width, height, bpp);
    if (bpp <= 8) bitmap.Palette().resize(std::size_t{1} << bpp, RGB(9, 9, 9));
    for (std::uint8_t& b : bitmap.MutableBits()) b = 0x5A;
    bitmap.SaveToFile(Path(name).toStdString());
    return Path(name);
  }
  bool DataButtonsEnabled() const {
    return Form->FlatButton4->isEnabled() && Form->FlatButton5->isEnabled() &&
           Form->FlatButton6->isEnabled() && Form->FlatButton9->isEnabled();
  }
  bool DataButtonsDisabled() const {
    return !Form->FlatButton4->isEnabled() && !Form->FlatButton5->isEnabled() &&
           !Form->FlatButton6->isEnabled() && !Form->FlatButton9->isEnabled();
  }
  static std::string ReadAll(const QString& file) {
    std::ifstream in(file.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

TEST_F(MainWindow, LayoutCaptionsAndPanels) {
  EXPECT_EQ(Form->FlatButton1->text(), "加载图像");
  EXPECT_EQ(Form->FlatButton7->text(), "打印图像");
  EXPECT_EQ(Form->FlatButton1->size(), QSize(80, 53));
  EXPECT_EQ(Form->StatusPanelText(0), "");
  EXPECT_EQ(Form->StatusPanelText(2), "");
  EXPECT_FALSE(Form->StatusPanelText(3).isEmpty());
  EXPECT_EQ(Form->TitledPopupMenu1->BandTitle(), "文本");
  ASSERT_EQ(Form->TitledPopupMenu1->actions().size(), 4);
  EXPECT_EQ(Form->TitledPopupMenu1->actions()[0]->text(), "加载文本文件");
  EXPECT_TRUE(Form->TitledPopupMenu1->actions()[2]->isSeparator());
  EXPECT_EQ(Form->TitledPopupMenu1->actions()[3]->text(), "清理文本框!");
  EXPECT_EQ(Form->DataFormat(), 1);
}

TEST_F(MainWindow, DataButtonsEnableOnceAtTheFirstLoadAndStayEnabled) {
  EXPECT_TRUE(DataButtonsDisabled());
  Ui.FileAnswers.push_back(MakePicture("a.bmp", 100, 50));
  Form->FlatButton1Click();
  EXPECT_TRUE(DataButtonsEnabled());
  EXPECT_EQ(Form->StatusPanelText(2), "数据大小：  625");
  // A later failing load keeps them enabled.
  Ui.FileAnswers.push_back(Path("missing.bmp"));
  Form->FlatButton1->click();
  EXPECT_TRUE(DataButtonsEnabled());
}

TEST_F(MainWindow, CancelledLoadChangesNothing) {
  Ui.FileAnswers.push_back(std::nullopt);
  Form->FlatButton1Click();
  EXPECT_TRUE(DataButtonsDisabled());
  EXPECT_TRUE(Form->PictureFileName().isEmpty());
  EXPECT_FALSE(Ui.FileRequests.front().Filter.isEmpty());
}

TEST_F(MainWindow, FailingLoadShowsAMessageAndKeepsThePanels) {
  Ui.FileAnswers.push_back(MakePicture("a.bmp", 100, 50));
  Form->FlatButton1->click();
  const QString panel1 = Form->StatusPanelText(1);
  const QString broken = Path("broken.bmp");
  std::ofstream(broken.toStdString()) << "BMnot a bitmap";
  Ui.FileAnswers.push_back(broken);
  Form->FlatButton1->click();  // through the button: the wrapper shows the error
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_TRUE(Ui.Messages[0].startsWith("无法加载图像"));
  EXPECT_EQ(Form->StatusPanelText(1), panel1);
  EXPECT_EQ(Form->StatusPanelText(2), "数据大小：  625");
  EXPECT_EQ(Form->PictureFileName(), broken);  // already taken before the load failed
  EXPECT_EQ(Form->Picture().PictureWidth(), 100);

  Ui.FileAnswers.push_back(Path("picture.xyz"));
  Form->FlatButton1->click();
  ASSERT_EQ(Ui.Messages.size(), 2u);
  EXPECT_EQ(Ui.Messages[1], "未知图片文件扩展(.xyz)");
}

TEST_F(MainWindow, SaveWritesByTheExtensionInAnyCase) {
  Ui.FileAnswers.push_back(MakePicture("a.bmp", 20, 10));
  Form->FlatButton1Click();
  for (const char* name : {"b.bmp", "c.BMP", "d.BmP"}) {
    Ui.FileAnswers.push_back(Path(name));
    Form->FlatButton2Click();
    EXPECT_EQ(ReadAll(Path(name)).substr(0, 2), "BM") << name;
  }
  // Other extensions are refused with a message; a name without one gets the filter's.
  for (const char* name : {"e.jpg", "f", "g.bmp.txt"}) {
    Ui.FileAnswers.push_back(Path(name));
    Form->FlatButton2Click();
    EXPECT_FALSE(std::filesystem::exists(Path(name).toStdString())) << name;
  }
  EXPECT_EQ(ReadAll(Path("f.bmp")).substr(0, 2), "BM");
  EXPECT_EQ(Ui.Messages.size(), 2u);
  // The save dialog is pre-filled with the last picture name saved or loaded.
  EXPECT_EQ(Ui.FileRequests.back().FileName, Path("f.bmp"));
  EXPECT_EQ(Ui.FileRequests.back().DefaultExt, "BMP");
}

TEST_F(MainWindow, SaveAndPrintWaitForAPictureAndAFailedLoadGivesNone) {
  Ui.FileAnswers = {Path("missing.bmp"), Path("nothing.bmp")};
  Form->FlatButton1->click();
  ASSERT_EQ(Ui.Messages.size(), 1u);
  for (TFlatButton* button : {Form->FlatButton2, Form->FlatButton7}) {
    EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
  }
  Form->FlatButton2->click();
  EXPECT_EQ(Ui.FileRequests.size(), 1u);  // no save dialog
  Ui.FileAnswers = {MakePicture("a.bmp", 20, 10)};
  Form->FlatButton1->click();
  EXPECT_TRUE(Form->FlatButton2->isEnabled() && Form->FlatButton7->isEnabled());
}

TEST_F(MainWindow, TextMenuLoadsWithCrLfAndSavesUnchanged) {
  const QString in = Path("in.txt");
  std::ofstream(in.toStdString(), std::ios::binary) << "one\ntwo\rthree\r\n中文";
  Ui.FileAnswers.push_back(in);
  Form->LoadTextFile1Click();
  EXPECT_EQ(Form->TextData->toPlainText(), "one\ntwo\nthree\n中文");
  EXPECT_EQ(Form->TextData->Text(), "one\r\ntwo\r\nthree\r\n\xD6\xD0\xCE\xC4");
  const QString out = Path("out.txt");
  Ui.FileAnswers.push_back(out);
  Form->SaveTextDataToFile1Click();
  EXPECT_EQ(ReadAll(out), "one\r\ntwo\r\nthree\r\n中文");  // no line break added at the end
  EXPECT_EQ(std::filesystem::status(out.toStdString()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  Form->ClearTextBox1Click();
  EXPECT_EQ(Form->TextData->Text(), "");
  Form->TextData->undo();  // clearing, like loading, can be taken back
  EXPECT_EQ(Form->TextData->toPlainText(), "one\ntwo\nthree\n中文");
}

TEST_F(MainWindow, TextFileInTheOldCodePageLoadsToo) {
  const QString in = Path("gbk.txt");
  std::ofstream(in.toStdString(), std::ios::binary) << "\xD6\xD0\xCE\xC4\n";
  Ui.FileAnswers.push_back(in);
  Form->LoadTextFile1Click();
  EXPECT_EQ(Form->TextData->toPlainText(), "中文\n");
}

TEST_F(MainWindow, UnreadableTextFileShowsTheError) {
  Form->TextData->SetText("kept");
  Ui.FileAnswers.push_back(Path("missing.txt"));
  TTitledPopupMenu* menu = Form->TitledPopupMenu1;
  menu->actions()[0]->trigger();
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_EQ(Form->TextData->Text(), "kept");
}

}  // namespace
}  // namespace pennacrow

namespace pennacrow {
namespace {

TEST(FileDialogFilter, KeepsTheDescriptionsAndMatchesUpperCaseNames) {
  const QStringList filters =
      ToQtFilter("全部 (*.jpg;*.bmp)|*.jpg;*.bmp|JPEG图像文件 (*.jpg)|*.jpg|全部文件|*.*");
  ASSERT_EQ(filters.size(), 3);
  EXPECT_EQ(filters[0], "全部 (*.jpg;*.bmp) (*.jpg *.JPG *.bmp *.BMP)");
  EXPECT_EQ(filters[1], "JPEG图像文件 (*.jpg) (*.jpg *.JPG)");
  EXPECT_EQ(filters[2], "全部文件 (*.*)");
}

}  // namespace
}  // namespace pennacrow
