#include "app/Printing.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTemporaryFile>
#include <QToolBar>
#include <vector>

#include "app/BitmapImage.h"
#include "app/Language.h"
#include "app/WaitCursor.h"
#include "base/FileIO.h"
#include "picture/Errors.h"
#include "picture/PrintFit.h"

namespace pennacrow {

namespace {

const char* const kNoPrinter = N_("当前未选定默认的打印机");
const char* const kNoPrinterHint =
    N_("要打印到 PDF 文件，请先在“配置打印机”里选择“打印到文件(PDF)”。");
const char* const kInvalidPrinter = N_("选定的打印机无效");
const char* const kPictureTooLarge = N_("图片太大，无法打印");

// The job options of the CUPS print dialog (pages per sheet, banner pages, ...) are kept by the
// print engine alone, under this key.
const auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);

void CopyPrinterSettings(const QPrinter& from, QPrinter& to) {
  if (from.outputFormat() == QPrinter::NativeFormat) {
    to.setPrinterName(from.printerName());
  } else {
    to.setOutputFormat(QPrinter::PdfFormat);
    // An empty name would switch the printer back to the system's default.
    if (!from.outputFileName().isEmpty()) to.setOutputFileName(from.outputFileName());
  }
  to.setPageLayout(from.pageLayout());
  to.setResolution(from.resolution());
  to.setFullPage(from.fullPage());
  to.setColorMode(from.colorMode());
  to.setDuplex(from.duplex());
  to.setCopyCount(from.copyCount());
  to.setCollateCopies(from.collateCopies());
  to.setPageOrder(from.pageOrder());
  to.setDocName(from.docName());
  to.printEngine()->setProperty(kCupsOptions, from.printEngine()->property(kCupsOptions));
}

std::optional<TPrintSize> PageTargetSize(const QPrinter& printer, const TBitmap& bitmap,
                                         int percent) {
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  return PrintTargetSize(bitmap.Width(), bitmap.Height(), page.width(), page.height(), percent);
}

// Copies the finished page from the spool file into the file the user chose, atomically and
// keeping that file's mode and links, as saving a picture does.
void DeliverSpooledPage(const QString& spool, const QString& target) {
  QFile page(spool);
  if (!page.open(QIODevice::ReadOnly)) throw EPennacrowError(Tr(kInvalidPrinter));
  WriteFileAtomically(target.toStdString(), [&page](const TByteSink& sink) {
    std::vector<std::uint8_t> piece(std::size_t{1} << 20);
    qint64 n = 0;
    while ((n = page.read(reinterpret_cast<char*>(piece.data()), qint64(piece.size()))) > 0) {
      sink({piece.data(), static_cast<std::size_t>(n)});
    }
    if (n < 0) throw EPennacrowError(Tr(kInvalidPrinter));
  });
}

}  // namespace

TPrinterChoice::TPrinterChoice() = default;
TPrinterChoice::~TPrinterChoice() = default;

std::unique_ptr<QPrinter> TPrinterChoice::Copy() const {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  if (FPrinter) CopyPrinterSettings(*FPrinter, *printer);
  return printer;
}

std::unique_ptr<QPrinter> TPrinterChoice::ForJob() const {
  const bool noDefault = FPrinter == nullptr && QPrinterInfo::defaultPrinter().isNull();
  std::unique_ptr<QPrinter> job = Copy();
  // Without a system printer Qt offers a file printer that names no file: nothing to print on.
  if (noDefault ||
      (job->outputFormat() == QPrinter::PdfFormat && job->outputFileName().isEmpty())) {
    throw EPennacrowError(Tr(kNoPrinter) + "\n" + Tr(kNoPrinterHint));
  }
  // A chosen printer that has gone leaves the copy on another one; the page must not go there.
  if (FPrinter != nullptr && FPrinter->outputFormat() == QPrinter::NativeFormat &&
      job->printerName() != FPrinter->printerName()) {
    throw EPennacrowError(Tr(kInvalidPrinter));
  }
  if (!job->isValid()) throw EPennacrowError(Tr(kInvalidPrinter));
  return job;
}

void TPrinterChoice::Use(std::unique_ptr<QPrinter> printer) {
  FPrinter = std::move(printer);
}

void DrawBitmapStretched(QPainter& canvas, const QRect& rect, const QImage& image) {
  canvas.save();
  canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
  canvas.drawImage(QRect(0, 0, rect.width(), rect.height()), image);
  canvas.restore();
}

void DrawBitmapStretched(QPainter& canvas, const QRect& rect, const TBitmap& bitmap) {
  DrawBitmapStretched(canvas, rect, ToQImage(bitmap));
}

void PaintImageAtScale(QPainter& canvas, const QPrinter& printer, const TBitmap& bitmap,
                       int percent) {
  if (const std::optional<TPrintSize> size = PageTargetSize(printer, bitmap, percent)) {
    DrawBitmapStretched(canvas, QRect(0, 0, size->Width, size->Height), bitmap);
  }
}

QString PrintedToFileMessage(const QPrinter& printer) {
  if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty()) {
    return QString();
  }
  const QString where =
      QDir::toNativeSeparators(QFileInfo(printer.outputFileName()).absoluteFilePath());
  return QString(QTr("图像已打印到文件：\n%1")).arg(where);
}

std::unique_ptr<QPrintDialog> MakePrinterSetupDialog(QPrinter& printer, QWidget* parent) {
  auto dialog = std::make_unique<QPrintDialog>(&printer, parent);
  dialog->setWindowTitle(QTr("配置打印机"));
  if (auto* buttons = dialog->findChild<QDialogButtonBox*>()) {
    if (QPushButton* confirm = buttons->button(QDialogButtonBox::Ok)) confirm->setText(QTr("确定"));
  }
  return dialog;
}

std::unique_ptr<QPrintPreviewDialog> MakePrintPreview(QPrinter& printer,
                                                      const TFractalImage& picture, int percent,
                                                      QWidget* parent) {
  auto preview = std::make_unique<QPrintPreviewDialog>(&printer, parent);
  preview->setWindowTitle(QTr(kPrintPreviewCaption));
  auto* scale = new QComboBox(preview.get());
  scale->setObjectName("PrintScale");
  for (int choice : {25, 50, 75, 100}) {
    scale->addItem(QString("%1%").arg(choice), choice);
    if (choice == percent) scale->setCurrentIndex(scale->count() - 1);
  }
  // The chooser joins the preview's own tool bar, beside its zoom and page buttons.
  if (auto* tools = preview->findChild<QToolBar*>()) {
    tools->addSeparator();
    tools->addWidget(new QLabel(QTr(kPrintScaleCaption), tools));
    tools->addWidget(scale);
  }
  QObject::connect(preview.get(), &QPrintPreviewDialog::paintRequested, preview.get(),
                   [&picture, scale](QPrinter* page) {
                     const TBitmap* bitmap = picture.PictureOrNull();
                     if (bitmap == nullptr || bitmap->Empty()) return;
                     QPainter canvas(page);
                     // Qt asks for the pages from inside its event handling: a picture too
                     // large to copy for drawing leaves the page blank rather than throw there.
                     try {
                       PaintImageAtScale(canvas, *page, *bitmap, scale->currentData().toInt());
                     } catch (const std::exception&) {
                     }
                   });
  if (auto* pages = preview->findChild<QPrintPreviewWidget*>()) {
    QObject::connect(scale, &QComboBox::currentIndexChanged, pages,
                     &QPrintPreviewWidget::updatePreview);
  }
  return preview;
}

void PrintImageAtScale(QPrinter& printer, TFractalImage& picture, int percent) {
  TWaitCursor wait;
  const TBitmap* bitmap = picture.PictureOrNull();
  if (bitmap == nullptr || bitmap->Empty()) return;  // nothing to print, no job opened
  if (!printer.isValid()) throw EPennacrowError(Tr(kInvalidPrinter));
  const std::optional<TPrintSize> size = PageTargetSize(printer, *bitmap, percent);
  if (!size) return;
  // A job once started cannot be taken back (Qt ends it with whatever was drawn), so the copy
  // that may not fit in memory is made first.
  const QImage image = ToQImage(*bitmap);
  if (image.isNull()) throw EPennacrowError(Tr(kPictureTooLarge));
  const QString target =
      printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
  QTemporaryFile spool(QDir(QDir::tempPath()).filePath("pennacrow-print-XXXXXX.pdf"));
  if (!target.isEmpty()) {
    if (!spool.open()) throw EPennacrowError(Tr(kInvalidPrinter));
    spool.close();
    printer.setOutputFileName(spool.fileName());
  }
  QPainter canvas;
  if (!canvas.begin(&printer)) throw EPennacrowError(Tr(kInvalidPrinter));
  DrawBitmapStretched(canvas, QRect(0, 0, size->Width, size->Height), image);
  if (!canvas.end()) throw EPennacrowError(Tr(kInvalidPrinter));
  if (target.isEmpty()) return;
  printer.setOutputFileName(target);
  DeliverSpooledPage(spool.fileName(), target);
}

}  // namespace pennacrow
