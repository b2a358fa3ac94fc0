// The print menu's commands, alone and in any order, and the guide's commands and documents.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <map>

#include "FormTest.h"
#include "app/HelpForm.h"
#include "app/PennacrowForm.h"
#include "base/Translate.h"
#include "controls/FlatButton.h"
#include "controls/HtmlTextView.h"
#include "picture/Bitmap.h"

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
    PrintInto(fileName);
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

// A row is an order of print commands, one letter each: c the set-up dialog cancelled, a the
// set-up confirmed with 打印到文件(PDF) and a new file, v the preview closed, p a print at 25 %,
// f a print into a file whose directory does not exist. Then a confirmed set-up and a print.
class PrintOrder : public test::TFormTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // Opens the item's dialog: confirms the file printer (the set-up's last) with file, or cancels.
  void Dialog(const char* item, const QString& file = {}) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      auto* printers = dialog ? dialog->findChild<QComboBox*>("printers") : nullptr;
      auto* name = dialog ? dialog->findChild<QLineEdit*>("filename") : nullptr;
      if (!(shown = dialog != nullptr)) return;
      if (!file.isEmpty() && printers && name) {
        printers->setCurrentIndex(printers->count() - 1);
        name->setText(file);
        dialog->accept();
      }
      if (dialog->isVisible()) dialog->reject();
    });
    Form->findChild<QAction*>(item)->trigger();
    EXPECT_TRUE(shown) << item;
  }
  // A page in the chosen file; else the system's printer takes it silently; else a reason.
  void Print(const QString& chosen) {
    Ui.Messages.clear();
    Form->findChild<QAction*>("PrintAt251")->trigger();
    if (chosen.isEmpty() && !QPrinterInfo::defaultPrinter().isNull()) {
      EXPECT_TRUE(Ui.Messages.empty());
      return;
    }
    ASSERT_EQ(Ui.Messages.size(), 1u);
    const std::string message = Ui.Messages[0].toStdString();
    if (chosen.isEmpty()) {
      EXPECT_TRUE(Ui.Messages[0].startsWith("当前未选定默认的打印机")) << message;
      return;
    }
    EXPECT_TRUE(Ui.Messages[0].contains(QDir::toNativeSeparators(chosen))) << message;
    QFile pdf(chosen);
    const QString text = pdf.open(QIODevice::ReadOnly) ? QString::fromLatin1(pdf.readAll()) : "";
    const qsizetype pages = text.count(QRegularExpression(R"(/Type\s*/Page\b)"));
    EXPECT_EQ(pages, QFileInfo(chosen).dir().exists() ? 1 : 0) << message;
  }
};

TEST_P(PrintOrder, EveryCommandStillWorksAfterTheOthers) {
  TBitmap(30, 20, 24).SaveToFile(Path("picture.bmp").toStdString());
  Form->LoadPicture(Path("picture.bmp"));
  QString chosen;
  int files = 0;
  for (const char* step = GetParam(); *step != 0; ++step) {
    if (*step == 'c') Dialog("PrinterSetup1");
    if (*step == 'v') Dialog("PrintPreview1");
    if (*step == 'a') Dialog("PrinterSetup1", chosen = Path("chosen") + QString::number(++files));
    if (*step == 'f') {
      auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
      printer->setOutputFileName(chosen = Path("missing/page.pdf"));
      Form->Printers().Use(std::move(printer));
    }
    if (*step == 'p' || *step == 'f') Print(chosen);
  }
  Dialog("PrinterSetup1", Path("last.pdf"));
  Print(Path("last.pdf"));
}

INSTANTIATE_TEST_SUITE_P(AnyOrder, PrintOrder,
                         ::testing::Values("", "cp", "vp", "pcv", "acp", "avp", "apvc", "cvcp",
                                           "fvp"),
                         [](const auto& info) { return "Order_" + std::string(info.param); });

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

TEST(Guide, NamesEveryCommandOfTheWindowInBothLanguages) {
  for (TLanguage language : {TLanguage::Chinese, TLanguage::English}) {
    SetLanguage(language);
    test::TFakeUserInterface ui;
    TPennacrowForm form(ui);
    THelpForm help(&form);
    const QString guide = help.t->document()->toPlainText();
    QStringList captions, missing;
    for (const TFlatButton* button : form.findChildren<TFlatButton*>()) captions << button->text();
    for (const QMenu* menu : form.findChildren<QMenu*>()) {
      for (const QAction* action : menu->actions()) captions << action->text();
    }
    for (const QString& caption : captions) {
      if (!caption.isEmpty() && !guide.contains('[' + caption + ']')) missing << caption;
    }
    EXPECT_GT(captions.size(), 25) << "the window's menus were not found";
    EXPECT_EQ(missing.join(" | ").toStdString(), "");
    // The sealing commands are found from the arrow on the write button, too.
    EXPECT_EQ(form.FlatButton6->menu(), form.findChild<QMenu*>("WritePopupMenu"));
    EXPECT_EQ(form.FlatButton6->popupMode(), QToolButton::MenuButtonPopup);
  }
  SetLanguage(TLanguage::Chinese);
}

}  // namespace
}  // namespace pennacrow
