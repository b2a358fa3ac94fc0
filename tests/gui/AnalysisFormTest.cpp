#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTabWidget>

#include "FakeUserInterface.h"
#include "app/AnalysisForm.h"
#include "app/PennacrowForm.h"
#include "codec/BinaryUnit.h"
#include "codec/Container.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"

namespace pennacrow {
namespace {

TBitmap Gradient(int width, int height) {
  TBitmap bitmap(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width * 3; ++x) bitmap.RowAt(y)[x] = static_cast<std::uint8_t>(x / 3 + y);
  }
  return bitmap;
}

TEST(AnalysisForm, ShowsTheReportTheLowBitPlanesAndWhatAWriteChanged) {
  const TBitmap before = Gradient(90, 40);
  TBitmap after;
  after.Assign(before);
  AddBinaryToImage(after, BuildBinaryString("a readable secret, plainly", kFormatPlain));
  TAnalysisForm form;
  form.ShowReport(after, &before, "picture.bmp");
  EXPECT_TRUE(form.ReportText->toPlainText().contains("容易被检测"));
  ASSERT_EQ(form.Pictures->count(), 4);  // B, G, R, and the difference
  EXPECT_EQ(form.Pictures->tabText(0), "B 最低位");
  EXPECT_EQ(form.Pictures->tabText(3), "写入改动");
  const auto* plane = qobject_cast<QScrollArea*>(form.Pictures->widget(0));
  ASSERT_NE(plane, nullptr);
  // Natural size, like the picture view.
  EXPECT_EQ(qobject_cast<QLabel*>(plane->widget())->pixmap().size(), QSize(90, 40));
  const auto* counts = form.findChild<QLabel*>("DifferenceCounts");
  ASSERT_NE(counts, nullptr);
  EXPECT_TRUE(counts->text().startsWith("改动的字节: ")) << counts->text().toStdString();
  // Without an earlier picture, no difference page.
  form.ShowReport(after, nullptr, "picture.bmp");
  EXPECT_EQ(form.Pictures->count(), 3);
}

TEST(AnalysisForm, TheMainWindowWritesStealthilyWhenAsked) {
  test::TFakeUserInterface ui;
  TPennacrowForm window(ui);
  window.Picture().PictureBitmap().Assign(Gradient(90, 40));
  window.TextData->SetText("quiet");
  window.StealthWriting->setChecked(true);
  window.FlatButton6Click();
  std::uint8_t format = 0;
  const TBitmap& written = window.Picture().PictureBitmap();
  EXPECT_EQ(RemoveBinaryFromImage(written, format), "quiet");
  // Replacing a low bit only ever raises an even byte or lowers an odd one; +1 or -1 at random
  // does the opposite about half the time.
  const TBitmap cover = Gradient(90, 40);
  int against = 0;
  for (int x = 0; x < 90; ++x) {
    const int was = cover.ConstRowAt(0)[x], now = written.ConstRowAt(0)[x];
    against += (was % 2 == 0 && now == was - 1) || (was % 2 == 1 && now == was + 1);
  }
  EXPECT_GT(against, 0);
  window.findChild<QAction*>("AnalysisMenuItem")->trigger();
  auto* form = window.findChild<TAnalysisForm*>();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Pictures->tabText(form->Pictures->count() - 1), "写入改动");
  // The report says it is about the written picture, not a file.
  EXPECT_TRUE(
      form->ReportText->toPlainText().section('\n', 0, 0).endsWith("（写入数据后尚未保存）"));
}

}  // namespace
}  // namespace pennacrow
