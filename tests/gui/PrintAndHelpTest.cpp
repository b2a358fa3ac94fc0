// The print menu's preview, set-up and print-to-file messages, printing after any other print
// command, the guide's commands and documents, and the write button's menu.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <map>
#include <vector>

#include "FormTest.h"
#include "app/HelpForm.h"
#include "app/PennacrowForm.h"
#include "controls/FlatButton.h"
#include "controls/HtmlTextView.h"
#include "picture/Bitmap.h"
#include "text/Translate.h"

namespace pennacrow {
namespace {

class PrintMenu : public test::TFormTest {
 protected:
  // A wide red picture loaded, and a printer that writes a PDF file with no margins.
  void LoadPictureAndPrintInto(const QString& fileName) {
    TBitmap bitmap(80, 40, 24);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 80; ++x) bitmap.SetPixel(x, y, RGB(255, 0, 0));
    bitmap.SaveToFile(Path("picture.bmp").toStdString());
    Ui.FileAnswers.push_back(Path("picture.bmp"));
    Form->FlatButton1Click();
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(fileName);
    printer->setPageMargins(QMarginsF(0, 0, 0, 0));
    Form->Printers().Use(std::move(printer));
  }
};

// The share of the previewed page's width that the red picture covers: the page is the white
// area with the picture in it; the preview's background is neither white nor red.
double PictureShareOfPage(const QImage& shot) {
  int pageLeft = shot.width(), pageRight = -1, pictureRight = -1;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      const bool picture = c.red() > 200 && c.green() < 60 && c.blue() < 60;
      if (picture || (c.red() > 245 && c.green() > 245 && c.blue() > 245)) {
        pageLeft = std::min(pageLeft, x);
        pageRight = std::max(pageRight, x);
      }
      if (picture) pictureRight = std::max(pictureRight, x);
    }
  }
  if (pageRight <= pageLeft || pictureRight < pageLeft) return 0;
  return double(pictureRight - pageLeft + 1) / (pageRight - pageLeft + 1);
}

TEST_F(PrintMenu, PreviewShowsThePageAtTheChosenScale) {
  LoadPictureAndPrintInto(Path("preview.pdf"));
  std::map<int, double> shares;
  bool shown = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;  // the command's failure shows below
    shown = true;
    dialog->resize(600, 800);
    auto* pages = dialog->findChild<QPrintPreviewWidget*>();
    auto* scale = dialog->findChild<QComboBox*>("PrintScale");
    if (pages != nullptr && scale != nullptr) {
      for (int percent : {100, 25, 50}) {
        scale->setCurrentIndex(scale->findData(percent));
        pages->fitInView();
        QApplication::processEvents();
        shares[percent] = PictureShareOfPage(pages->grab().toImage());
      }
    }
    dialog->reject();
  });
  Form->findChild<QAction*>("PrintPreview1")->trigger();
  ASSERT_TRUE(shown) << "no print preview opened";
  ASSERT_EQ(shares.size(), 3u);
  for (const auto& [percent, share] : shares) EXPECT_NEAR(share, percent / 100.0, 0.04) << percent;
  // A preview prints nothing.
  EXPECT_FALSE(QFile::exists(Path("preview.pdf")));
  EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(PrintMenu, PrintingIntoAFileSaysWhereItWent) {
  LoadPictureAndPrintInto(Path("page.pdf"));
  Form->PrintAtScale(50);
  ASSERT_TRUE(QFile::exists(Path("page.pdf")));
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_TRUE(Ui.Messages[0].contains(QDir::toNativeSeparators(Path("page.pdf"))))
      << Ui.Messages[0].toStdString();
}

TEST_F(PrintMenu, SetupDialogConfirmsWithoutPrinting) {
  QPrinter printer(QPrinter::HighResolution);
  const std::unique_ptr<QPrintDialog> dialog = MakePrinterSetupDialog(printer, Form.get());
  auto* buttons = dialog->findChild<QDialogButtonBox*>();
  ASSERT_TRUE(buttons != nullptr && buttons->button(QDialogButtonBox::Ok) != nullptr);
  // Showing the dialog must not bring Qt's own "Print" caption back.
  dialog->show();
  QApplication::processEvents();
  EXPECT_EQ(buttons->button(QDialogButtonBox::Ok)->text(), "确定");
  dialog->reject();
}

// ---------------------------------------------------------------- printing in any order

enum class TPrintStep {
  SetupCancelled,  // the set-up dialog closed with Esc
  SetupAccepted,   // the set-up dialog confirmed with 打印到文件(PDF) and a new file name
  PreviewClosed,   // the preview closed without printing
  Print,           // print at 25 %
  PrintFails,      // print into a file in a directory that does not exist
};

struct TPrintOrder {
  const char* Name;
  std::vector<TPrintStep> Steps;
};

class PrintOrder : public test::TFormTest, public ::testing::WithParamInterface<TPrintOrder> {
 protected:
  void SetUp() override {
    TFormTest::SetUp();
    TBitmap bitmap(30, 20, 24);
    bitmap.SaveToFile(Path("picture.bmp").toStdString());
    Ui.FileAnswers.push_back(Path("picture.bmp"));
    Form->FlatButton1Click();
  }

  // Triggers a print menu item that opens a modal dialog and lets `answer` close it.
  void Answer(const char* item, const std::function<void(QDialog&)>& answer) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      shown = true;
      answer(*dialog);
      if (dialog->isVisible()) dialog->reject();  // never hang the run
    });
    Form->findChild<QAction*>(item)->trigger();
    EXPECT_TRUE(shown) << item;
  }

  // Confirms the set-up dialog with its file printer, the last of its printers.
  void ChooseFile(const QString& fileName) {
    Answer("PrinterSetup1", [&](QDialog& dialog) {
      auto* printers = dialog.findChild<QComboBox*>("printers");
      auto* name = dialog.findChild<QLineEdit*>("filename");
      ASSERT_TRUE(printers != nullptr && name != nullptr);
      printers->setCurrentIndex(printers->count() - 1);
      name->setText(fileName);
      dialog.accept();
    });
  }

  // Prints at 25 %: a page in the chosen file, or on the system's printer, which says nothing;
  // with neither, a reason and no file.
  void Print(const QString& chosen) {
    Ui.Messages.clear();
    Form->findChild<QAction*>("PrintAt251")->trigger();
    if (chosen.isEmpty() && !QPrinterInfo::defaultPrinter().isNull()) {
      EXPECT_TRUE(Ui.Messages.empty()) << Ui.Messages[0].toStdString();
      return;
    }
    ASSERT_EQ(Ui.Messages.size(), 1u);
    const QString& message = Ui.Messages[0];
    if (chosen.isEmpty()) {
      EXPECT_TRUE(message.startsWith("当前未选定默认的打印机")) << message.toStdString();
    } else {
      EXPECT_TRUE(message.contains(QDir::toNativeSeparators(chosen))) << message.toStdString();
      const bool writable = QFileInfo(chosen).dir().exists();
      EXPECT_EQ(PagesIn(chosen), writable ? 1 : -1) << message.toStdString();
    }
  }

  static int PagesIn(const QString& fileName) {
    QFile pdf(fileName);
    if (!pdf.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(pdf.readAll());
    return text.startsWith("%PDF") ? int(text.count(QRegularExpression(R"(/Type\s*/Page\b)"))) : 0;
  }
};

TEST_P(PrintOrder, EveryCommandStillWorksAfterTheOthers) {
  QString chosen;
  int files = 0;
  for (TPrintStep step : GetParam().Steps) {
    switch (step) {
      case TPrintStep::SetupCancelled:
        Answer("PrinterSetup1", [](QDialog& dialog) { dialog.reject(); });
        break;
      case TPrintStep::PreviewClosed:
        Answer("PrintPreview1", [](QDialog& dialog) { dialog.reject(); });
        break;
      case TPrintStep::SetupAccepted:
        chosen = Path(QString("chosen%1.pdf").arg(++files).toUtf8().constData());
        ChooseFile(chosen);
        break;
      case TPrintStep::Print:
        Print(chosen);
        break;
      case TPrintStep::PrintFails: {
        // A file printer whose file cannot be made.
        chosen = Path("missing/page.pdf");
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(chosen);
        Form->Printers().Use(std::move(printer));
        Print(chosen);
        break;
      }
    }
  }
  // Whatever came before, confirming the set-up and printing gives a page.
  const QString last = Path("last.pdf");
  ChooseFile(last);
  Print(last);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

using enum TPrintStep;
INSTANTIATE_TEST_SUITE_P(
    AnyOrder, PrintOrder,
    ::testing::Values(
        TPrintOrder{"Fresh", {}}, TPrintOrder{"SetupCancelled", {SetupCancelled, Print}},
        TPrintOrder{"PreviewClosed", {PreviewClosed, Print}},
        TPrintOrder{"PrintFirst", {Print, SetupCancelled, PreviewClosed}},
        TPrintOrder{"CancelKeepsTheChoice", {SetupAccepted, SetupCancelled, Print}},
        TPrintOrder{"PreviewKeepsTheChoice", {SetupAccepted, PreviewClosed, Print}},
        TPrintOrder{"AfterAPrint", {SetupAccepted, Print, PreviewClosed, SetupCancelled}},
        TPrintOrder{"EverythingCancelled", {SetupCancelled, PreviewClosed, SetupCancelled, Print}},
        TPrintOrder{"AfterAFailedPrint", {PrintFails, PreviewClosed, Print}}),
    [](const ::testing::TestParamInfo<TPrintOrder>& info) { return info.param.Name; });

// ---------------------------------------------------------------- help documents

QStringList LinkTargets(const QStringList& guide) {
  QStringList targets;
  const QRegularExpression href(R"re(<A HREF="([^"]*)">)re");
  for (auto it = href.globalMatch(guide.join(QString())); it.hasNext();) {
    targets << it.next().captured(1);
  }
  return targets;
}

TEST(HelpDocuments, GuideLinksOpenFilesOfTheBuildTree) {
  const QString dir = HelpDocumentDir(PENNACROW_PROGRAM_DIR);
  const QStringList targets = LinkTargets(HelpGuideLines(dir));
  ASSERT_EQ(targets.size(), 2);
  for (const QString& target : targets) {
    const QUrl url(target);
    ASSERT_TRUE(url.isLocalFile()) << target.toStdString();
    QFile document(url.toLocalFile());
    ASSERT_TRUE(document.open(QIODevice::ReadOnly)) << target.toStdString();
    const QByteArray text = document.readAll();
    EXPECT_TRUE(text.contains("pennacrow-cli")) << target.toStdString();
    // The manual is there as text a reader opens, not as troff source.
    EXPECT_FALSE(text.contains("\n.SH ")) << target.toStdString();
  }
}

TEST(HelpDocuments, InstalledPlaceComesBeforeTheBuildTree) {
  QTemporaryDir prefix;
  const QDir root(prefix.path());
  const QString installed = root.filePath("share/doc/pennacrow");
  const QString uninstalled = root.filePath("bin/doc");
  const auto touch = [](const QString& dir) {
    QDir().mkpath(dir);
    QFile readme(dir + "/README");
    return readme.open(QIODevice::WriteOnly);
  };
  // Neither place holds the documents: the installed place, where a package puts them.
  EXPECT_EQ(HelpDocumentDir(root.filePath("bin")), installed);
  ASSERT_TRUE(touch(uninstalled));
  EXPECT_EQ(HelpDocumentDir(root.filePath("bin")), uninstalled);
  ASSERT_TRUE(touch(installed));
  EXPECT_EQ(HelpDocumentDir(root.filePath("bin")), installed);
  // A prefix with spaces and Chinese in it still gives links that lead back to the file.
  const QString odd = root.filePath("我的 程序");
  ASSERT_TRUE(touch(odd + "/share/doc/pennacrow"));
  const QStringList targets = LinkTargets(HelpGuideLines(HelpDocumentDir(odd + "/bin")));
  ASSERT_FALSE(targets.isEmpty());
  EXPECT_EQ(QUrl(targets[0]).toLocalFile(), odd + "/share/doc/pennacrow/README");
}

// ---------------------------------------------------------------- the guide's commands

// Every caption of the window's buttons and menus: the commands a user can find.
QStringList CommandCaptions(const TPennacrowForm& form) {
  QStringList captions;
  for (const TFlatButton* button : form.findChildren<TFlatButton*>()) captions << button->text();
  for (const QMenu* menu : form.findChildren<QMenu*>()) {
    for (const QAction* action : menu->actions()) {
      if (!action->isSeparator()) captions << action->text();
    }
  }
  captions.removeDuplicates();
  return captions;
}

class GuideLanguage : public ::testing::TestWithParam<TLanguage> {
 protected:
  void TearDown() override { SetLanguage(TLanguage::Chinese); }
};

TEST_P(GuideLanguage, NamesEveryCommandOfTheWindowInBrackets) {
  SetLanguage(GetParam());
  test::TFakeUserInterface ui;
  TPennacrowForm form(ui);
  THelpForm help(&form);
  const QString guide = help.t->document()->toPlainText();
  const QStringList captions = CommandCaptions(form);
  ASSERT_GT(captions.size(), 25) << "the window's menus were not found";
  QStringList missing;
  for (const QString& caption : captions) {
    if (!guide.contains('[' + caption + ']')) missing << caption;
  }
  EXPECT_EQ(missing.join(" | ").toStdString(), "");
  for (const char* tool : {"pennacrow-cli", "--seal", "--stealth", "analyze"}) {
    EXPECT_TRUE(guide.contains(tool)) << tool;
  }
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, GuideLanguage,
                         ::testing::Values(TLanguage::Chinese, TLanguage::English),
                         [](const ::testing::TestParamInfo<TLanguage>& info) {
                           return std::string(info.param == TLanguage::English ? "English"
                                                                               : "Chinese");
                         });

TEST_F(PrintMenu, TheWriteButtonsArrowDropsItsMenuAndTheRestWrites) {
  LoadPictureAndPrintInto(Path("unused.pdf"));
  TFlatButton* button = Form->FlatButton6;
  auto* menu = Form->findChild<QMenu*>("WritePopupMenu");
  ASSERT_EQ(button->menu(), menu);
  Form->show();
  bool dropped = false;
  QTimer::singleShot(0, [&] {
    dropped = menu->isVisible();
    menu->close();
  });
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() - 4, button->height() / 2));
  EXPECT_TRUE(dropped);
  EXPECT_EQ(Form->StatusPanelText(0), "");
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() / 2, button->height() / 2));
  EXPECT_EQ(Form->StatusPanelText(0), " 数据写入成功！           ");
}

}  // namespace
}  // namespace pennacrow
