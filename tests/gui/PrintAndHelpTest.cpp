// The print menu's preview, set-up and print-to-file messages, and the help window's documents.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <map>

#include "FormTest.h"
#include "app/HelpForm.h"
#include "app/PennacrowForm.h"
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

}  // namespace
}  // namespace pennacrow
