#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QStatusBar>

#include "FakeUserInterface.h"
#include "app/EncryptForm.h"
#include "app/HelpForm.h"
#include "app/PennacrowForm.h"
#include "base/Translate.h"
#include "controls/FlatButton.h"

namespace pennacrow {
namespace {

// Every caption a window shows: its title, buttons, labels and group boxes.
QStringList Captions(QWidget& window) {
  QStringList texts{window.windowTitle()};
  for (auto* b : window.findChildren<QAbstractButton*>()) texts << b->text();
  for (auto* l : window.findChildren<QLabel*>()) texts << l->text();
  for (auto* g : window.findChildren<QGroupBox*>()) texts << g->title();
  return texts;
}

QStringList WithChinese(const QStringList& texts) {
  static const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
  QStringList found;
  for (const QString& t : texts) {
    if (t.contains(chinese)) found << t;
  }
  return found;
}

struct TCaptionCase {
  TLanguage Language;
  const char* Open;
  const char* Print;
  const char* EncryptTitle;
  const char* HelpTitle;
};

class WindowLanguage : public ::testing::TestWithParam<TCaptionCase> {
 protected:
  void SetUp() override { SetLanguage(GetParam().Language); }
  void TearDown() override { SetLanguage(TLanguage::Chinese); }
  test::TFakeUserInterface Ui;
};

TEST_P(WindowLanguage, CaptionsOfTheMainWindowAndItsDialogs) {
  const TCaptionCase& c = GetParam();
  TPennacrowForm form(Ui);
  TEncryptForm encrypt(Ui, &form);
  THelpForm help(&form);
  EXPECT_EQ(form.FlatButton1->text(), QString::fromUtf8(c.Open));
  EXPECT_EQ(form.FlatButton7->text(), QString::fromUtf8(c.Print));
  EXPECT_EQ(encrypt.windowTitle(), QString::fromUtf8(c.EncryptTitle));
  EXPECT_EQ(help.windowTitle(), QString::fromUtf8(c.HelpTitle));
  // No status panel cuts its text short ("Pennacrow tean").
  for (const QLabel* panel : form.statusBar()->findChildren<QLabel*>()) {
    EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text()))
        << panel->text().toStdString();
  }
  if (c.Language == TLanguage::English) {
    for (QWidget* window : {static_cast<QWidget*>(&form), static_cast<QWidget*>(&encrypt),
                            static_cast<QWidget*>(&help)}) {
      EXPECT_EQ(WithChinese(Captions(*window)), QStringList()) << window->metaObject()->className();
    }
    EXPECT_EQ(WithChinese(HelpGuideLines()), QStringList());
  }
}

INSTANTIATE_TEST_SUITE_P(EnglishAndChinese, WindowLanguage,
                         ::testing::Values(TCaptionCase{TLanguage::English, "Open", "Print",
                                                        "Pennacrow Encryption", "Pennacrow Help"},
                                           TCaptionCase{TLanguage::Chinese, "加载图像", "打印图像",
                                                        "Pennacrow 加密器", "Pennacrow 帮助"}),
                         [](const ::testing::TestParamInfo<TCaptionCase>& info) {
                           return std::string(
                               info.param.Language == TLanguage::English ? "English" : "Chinese");
                         });

}  // namespace
}  // namespace pennacrow
