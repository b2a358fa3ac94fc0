// Sealing the memo's text and a file from the main window, and reading both back.

#include <gtest/gtest.h>

// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>
#include <cstddef>
#include <cstdio>

#include <QAction>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <filesystem>

#include "FakeUserInterface.h"
#include "app/PennacrowForm.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "picture/Bitmap.h"
#include "picture/Graphic.h"
#include "text/TextRules.h"

namespace pennacrow {
namespace {

TEST(SealCommands, SealTextAndFileThenReadThemBack) {
  char pattern[] = "/tmp/pennacrow-seal-XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(pattern);
  auto path = [&](const char* name) { return QString::fromStdString((dir / name).string()); };
  test::TFakeUserInterface ui;
  TPennacrowForm form(ui);
  TBitmap carrier(700, 500, 24);
  for (std::uint8_t& b : carrier.MutableBits()) b = 0x5A;
  carrier.SaveToFile(path("carrier.bmp").toStdString());
  form.LoadPicture(path("carrier.bmp"));
  auto trigger = [&](const char* name) {
    form.findChild<TTitledPopupMenu*>("WritePopupMenu")->findChild<QAction*>(name)->trigger();
  };

  // Two different answers write nothing.
  form.TextData->SetText(Utf8ToPayload("密封的文字 😀\r\nline two"));
  ui.PasswordAnswers = {"pässwörd", "passwörd"};
  trigger("SealWrite1");
  ASSERT_EQ(ui.Messages, std::vector<QString>{"两次输入的密码不一致"});
  EXPECT_EQ(form.DataFormat(), 0);

  // The password typed decomposed the second time is the same password. The key derivation
  // runs on the worker, the window busy meanwhile.
  QSignalSpy busy(&form, &TPennacrowForm::BusyChanged);
  ui.PasswordAnswers = {"pässwörd", QString("pässwörd").normalized(QString::NormalizationForm_D)};
  trigger("SealWrite1");
  EXPECT_EQ(form.StatusPanelText(0), " 数据写入成功！           ");
  EXPECT_EQ(busy.size(), 2);
  ui.FileAnswers = {path("sealed.png")};
  form.FlatButton2Click();
  form.ClearTextBox1Click();
  form.LoadPicture(path("sealed.png"));
  EXPECT_EQ(form.StatusPanelText(1), "Pennacrow 已密封");

  ui.PasswordAnswers = {"wrong"};
  form.FlatButton4Click();
  EXPECT_EQ(ui.Messages.back(), "密码错误或数据已损坏");
  EXPECT_EQ(form.StatusPanelText(0), " 自此图像读取数据失败！       ");
  EXPECT_TRUE(form.TextData->toPlainText().isEmpty());
  ui.PasswordAnswers = {"pässwörd"};
  busy.clear();
  form.FlatButton4Click();
  EXPECT_EQ(busy.size(), 2);
  EXPECT_EQ(form.StatusPanelText(0), " 自此图像读取数据成功！  ");
  EXPECT_EQ(form.TextData->toPlainText(), "密封的文字 😀\nline two");

  // A 40 KB file keeps its name and bytes.
  std::vector<std::uint8_t> bytes(40960);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31);
  WriteFileAtomically(path("报告.bin").toStdString(), bytes);
  ui.FileAnswers = {path("报告.bin"), path("sealed.bmp")};
  ui.PasswordAnswers = {"pw", "pw"};
  trigger("SealWriteFile1");
  form.FlatButton2Click();
  form.LoadPicture(path("sealed.bmp"));
  ui.PasswordAnswers = {"pw"};
  ui.FileAnswers = {path("back.bin")};
  form.FlatButton4Click();
  EXPECT_EQ(ui.FileRequests.back().FileName, "报告.bin");
  EXPECT_EQ(ReadWholeFile(path("back.bin").toStdString()), bytes);
  std::filesystem::remove_all(dir);
}

TEST(SealCommands, KeyedWriteShowsNoContainerAndOpensOnlyFromTheReadMenu) {
  test::TFakeUserInterface ui;
  TPennacrowForm form(ui);
  const QTemporaryDir temporary;
  ASSERT_TRUE(temporary.isValid());
  const QString dir = temporary.path();
  auto menuAction = [&](const char* menu, const char* name) {
    form.findChild<TTitledPopupMenu*>(menu)->findChild<QAction*>(name)->trigger();
  };
  TBitmap tiny(20, 20, 24);
  tiny.SaveToFile((dir + "/tiny.bmp").toStdString());
  form.LoadPicture(dir + "/tiny.bmp");
  menuAction("WritePopupMenu", "AdaptiveWrite1");
  EXPECT_EQ(form.StatusPanelText(0), " 数据写入失败！     ");
  EXPECT_TRUE(ui.PasswordPrompts.empty());

  TBitmap carrier(300, 200, 24);
  std::uint32_t state = 1;
  for (std::uint8_t& b : carrier.MutableBits()) b = 60 + (state = state * 1103515245 + 12345) % 97;
  carrier.SaveToFile((dir + "/carrier.bmp").toStdString());
  form.LoadPicture(dir + "/carrier.bmp");
  form.TextData->SetText(Utf8ToPayload("不留痕迹 😀"));
  ui.PasswordAnswers = {"pw", "pw"};
  menuAction("WritePopupMenu", "AdaptiveWrite1");
  EXPECT_EQ(form.StatusPanelText(0), " 数据写入成功！           ");
  EXPECT_TRUE(ui.PasswordPrompts.back().startsWith("再输入一次密码"));
  EXPECT_TRUE(ui.PasswordPrompts.front().contains("最多能放"));
  ui.FileAnswers = {dir + "/keyed.png"};
  form.FlatButton2Click();
  form.ClearTextBox1Click();
  form.LoadPicture(dir + "/keyed.png");

  // The read button finds nothing, says where to look, and asks for no password.
  ui.PasswordPrompts.clear();
  form.FlatButton4Click();
  EXPECT_TRUE(ui.Questions.back().contains("凭密码读取"));
  EXPECT_TRUE(ui.PasswordPrompts.empty());
  ui.PasswordAnswers = {"wrong"};
  menuAction("ReadPopupMenu", "ReadWithPassword1");
  EXPECT_EQ(ui.Messages.back(), "密码错误或数据已损坏");
  ui.PasswordAnswers = {"pw"};
  menuAction("ReadPopupMenu", "ReadWithPassword1");
  EXPECT_EQ(form.StatusPanelText(0), " 自此图像读取数据成功！  ");
  EXPECT_EQ(form.TextData->toPlainText(), "不留痕迹 😀");
}

TEST(SealCommands, KeyedWriteIntoAJpegKeepsItAJpeg) {
  test::TFakeUserInterface ui;
  TPennacrowForm form(ui);
  const QTemporaryDir temporary;
  ASSERT_TRUE(temporary.isValid());
  const QString dir = temporary.path();
  auto menuAction = [&](const char* menu, const char* name) {
    form.findChild<TTitledPopupMenu*>(menu)->findChild<QAction*>(name)->trigger();
  };
  QFile::copy(PENNACROW_TEST_DATA "/jpeg/textured.jpg", dir + "/photo.jpg");
  form.LoadPicture(dir + "/photo.jpg");
  form.TextData->SetText(Utf8ToPayload("保持为 JPEG"));
  ui.YesNoAnswers = {true};
  ui.PasswordAnswers = {"pw", "pw"};
  menuAction("WritePopupMenu", "AdaptiveWrite1");
  EXPECT_TRUE(ui.Questions.back().contains("JPEG"));
  EXPECT_EQ(form.StatusPanelText(0), " 数据写入成功！           ");
  // Read before the save, from the written coefficients.
  form.ClearTextBox1Click();
  ui.PasswordAnswers = {"pw"};
  menuAction("ReadPopupMenu", "ReadWithPassword1");
  EXPECT_EQ(form.TextData->toPlainText(), "保持为 JPEG");
  // The save proposes the JPEG's name and writes nothing but a JPEG.
  ui.FileAnswers = {dir + "/sealed.png"};
  form.FlatButton2Click();
  EXPECT_FALSE(QFile::exists(dir + "/sealed.png"));
  EXPECT_TRUE(ui.Messages.back().contains(".jpg"));
  ui.FileAnswers = {dir + "/sealed"};
  form.FlatButton2Click();
  const std::vector<std::uint8_t> saved = ReadWholeFile((dir + "/sealed.jpg").toStdString());
  ASSERT_GE(saved.size(), 3u);
  EXPECT_EQ(saved[0], 0xFF);
  EXPECT_EQ(saved[1], 0xD8);

  form.ClearTextBox1Click();
  form.LoadPicture(dir + "/sealed.jpg");
  ui.PasswordAnswers = {"pw"};
  menuAction("ReadPopupMenu", "ReadWithPassword1");
  EXPECT_EQ(form.StatusPanelText(0), " 自此图像读取数据成功！  ");
  EXPECT_EQ(form.TextData->toPlainText(), "保持为 JPEG");
}

}  // namespace
}  // namespace pennacrow
