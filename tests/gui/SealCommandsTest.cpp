// Sealing the memo's text and a file from the main window, and reading both back.

#include <gtest/gtest.h>

// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>
#include <cstddef>
#include <cstdio>

#include <QAction>
#include <QSignalSpy>

#include "FormTest.h"
#include "app/PennacrowForm.h"
#include "base/FileIO.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "picture/Bitmap.h"
#include "text/TextRules.h"

namespace pennacrow {
namespace {

class SealCommands : public test::TFormTest {
 protected:
  void Trigger(const char* menu, const char* name) {
    Form->findChild<TTitledPopupMenu*>(menu)->findChild<QAction*>(name)->trigger();
  }
};

TEST_F(SealCommands, SealTextAndFileThenReadThemBack) {
  TBitmap carrier(700, 500, 24);
  for (std::uint8_t& b : carrier.MutableBits()) b = 0x5A;
  carrier.SaveToFile(Path("carrier.bmp").toStdString());
  Form->LoadPicture(Path("carrier.bmp"));

  // Two different answers write nothing.
  Form->TextData->SetText(Utf8ToPayload("密封的文字 😀\r\nline two"));
  Ui.PasswordAnswers = {"pässwörd", "passwörd"};
  Trigger("WritePopupMenu", "SealWrite1");
  ASSERT_EQ(Ui.Messages, std::vector<QString>{"两次输入的密码不一致"});
  EXPECT_EQ(Form->DataFormat(), 0);

  // The password typed decomposed the second time is the same password. The key derivation
  // runs on the worker, the window busy meanwhile.
  QSignalSpy busy(Form.get(), &TPennacrowForm::BusyChanged);
  Ui.PasswordAnswers = {"pässwörd", QString("pässwörd").normalized(QString::NormalizationForm_D)};
  Trigger("WritePopupMenu", "SealWrite1");
  EXPECT_EQ(Form->StatusPanelText(0), " 数据写入成功！           ");
  EXPECT_EQ(busy.size(), 2);
  Ui.FileAnswers = {Path("sealed.png")};
  Form->FlatButton2Click();
  Form->ClearTextBox1Click();
  Form->LoadPicture(Path("sealed.png"));
  EXPECT_EQ(Form->StatusPanelText(1), "Pennacrow 已密封");

  Ui.PasswordAnswers = {"wrong"};
  Form->FlatButton4Click();
  EXPECT_EQ(Ui.Messages.back(), "密码错误或数据已损坏");
  EXPECT_EQ(Form->StatusPanelText(0), " 自此图像读取数据失败！       ");
  EXPECT_TRUE(Form->TextData->toPlainText().isEmpty());
  Ui.PasswordAnswers = {"pässwörd"};
  busy.clear();
  Form->FlatButton4Click();
  EXPECT_EQ(busy.size(), 2);
  EXPECT_EQ(Form->StatusPanelText(0), " 自此图像读取数据成功！  ");
  EXPECT_EQ(Form->TextData->toPlainText(), "密封的文字 😀\nline two");

  // A 40 KB file keeps its name and bytes.
  std::vector<std::uint8_t> bytes(40960);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31);
  WriteFileAtomically(Path("报告.bin").toStdString(), bytes);
  Ui.FileAnswers = {Path("报告.bin"), Path("sealed.bmp")};
  Ui.PasswordAnswers = {"pw", "pw"};
  Trigger("WritePopupMenu", "SealWriteFile1");
  Form->FlatButton2Click();
  Form->LoadPicture(Path("sealed.bmp"));
  Ui.PasswordAnswers = {"pw"};
  Ui.FileAnswers = {Path("back.bin")};
  Form->FlatButton4Click();
  EXPECT_EQ(Ui.FileRequests.back().FileName, "报告.bin");
  EXPECT_EQ(ReadWholeFile(Path("back.bin").toStdString()), bytes);
}

TEST_F(SealCommands, KeyedWriteShowsNoContainerAndOpensOnlyFromTheReadMenu) {
  TBitmap tiny(20, 20, 24);
  tiny.SaveToFile(Path("tiny.bmp").toStdString());
  Form->LoadPicture(Path("tiny.bmp"));
  Trigger("WritePopupMenu", "AdaptiveWrite1");
  EXPECT_EQ(Form->StatusPanelText(0), " 数据写入失败！     ");
  EXPECT_TRUE(Ui.PasswordPrompts.empty());

  TBitmap carrier(300, 200, 24);
  std::uint32_t state = 1;
  for (std::uint8_t& b : carrier.MutableBits()) b = 60 + (state = state * 1103515245 + 12345) % 97;
  carrier.SaveToFile(Path("carrier.bmp").toStdString());
  Form->LoadPicture(Path("carrier.bmp"));
  Form->TextData->SetText(Utf8ToPayload("不留痕迹 😀"));
  Ui.PasswordAnswers = {"pw", "pw"};
  Trigger("WritePopupMenu", "AdaptiveWrite1");
  EXPECT_EQ(Form->StatusPanelText(0), " 数据写入成功！           ");
  EXPECT_TRUE(Ui.PasswordPrompts.back().startsWith("再输入一次密码"));
  EXPECT_TRUE(Ui.PasswordPrompts.front().contains("最多能放"));
  Ui.FileAnswers = {Path("keyed.png")};
  Form->FlatButton2Click();
  Form->ClearTextBox1Click();
  Form->LoadPicture(Path("keyed.png"));

  // The read button finds nothing, says where to look, and asks for no password.
  Ui.PasswordPrompts.clear();
  Form->FlatButton4Click();
  EXPECT_TRUE(Ui.Questions.back().contains("凭密码读取"));
  EXPECT_TRUE(Ui.PasswordPrompts.empty());
  Ui.PasswordAnswers = {"wrong"};
  Trigger("ReadPopupMenu", "ReadWithPassword1");
  EXPECT_EQ(Ui.Messages.back(), "密码错误或数据已损坏");
  Ui.PasswordAnswers = {"pw"};
  Trigger("ReadPopupMenu", "ReadWithPassword1");
  EXPECT_EQ(Form->StatusPanelText(0), " 自此图像读取数据成功！  ");
  EXPECT_EQ(Form->TextData->toPlainText(), "不留痕迹 😀");
}

TEST_F(SealCommands, KeyedWriteIntoAJpegKeepsItAJpeg) {
  QFile::copy(PENNACROW_TEST_DATA "/jpeg/textured.jpg", Path("photo.jpg"));
  Form->LoadPicture(Path("photo.jpg"));
  Form->TextData->SetText(Utf8ToPayload("保持为 JPEG"));
  Ui.YesNoAnswers = {true};
  Ui.PasswordAnswers = {"pw", "pw"};
  Trigger("WritePopupMenu", "AdaptiveWrite1");
  EXPECT_TRUE(Ui.Questions.back().contains("JPEG"));
  EXPECT_EQ(Form->StatusPanelText(0), " 数据写入成功！           ");
  // Read before the save, from the written coefficients.
  Form->ClearTextBox1Click();
  Ui.PasswordAnswers = {"pw"};
  Trigger("ReadPopupMenu", "ReadWithPassword1");
  EXPECT_EQ(Form->TextData->toPlainText(), "保持为 JPEG");
  // The save proposes the JPEG's name and writes nothing but a JPEG.
  Ui.FileAnswers = {Path("sealed.png")};
  Form->FlatButton2Click();
  EXPECT_FALSE(QFile::exists(Path("sealed.png")));
  EXPECT_TRUE(Ui.Messages.back().contains(".jpg"));
  Ui.FileAnswers = {Path("sealed")};
  Form->FlatButton2Click();
  const std::vector<std::uint8_t> saved = ReadWholeFile(Path("sealed.jpg").toStdString());
  ASSERT_GE(saved.size(), 3u);
  EXPECT_EQ(saved[0], 0xFF);
  EXPECT_EQ(saved[1], 0xD8);

  Form->ClearTextBox1Click();
  Form->LoadPicture(Path("sealed.jpg"));
  Ui.PasswordAnswers = {"pw"};
  Trigger("ReadPopupMenu", "ReadWithPassword1");
  EXPECT_EQ(Form->StatusPanelText(0), " 自此图像读取数据成功！  ");
  EXPECT_EQ(Form->TextData->toPlainText(), "保持为 JPEG");
}

}  // namespace
}  // namespace pennacrow
