#include "app/Printing.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QToolBar>

#include "app/BitmapImage.h"
#include "app/Language.h"
#include "app/WaitCursor.h"
#include "picture/Errors.h"
#include "picture/PrintFit.h"

namespace pennacrow {

TPrinterChoice::TPrinterChoice() = default;
TPrinterChoice::~TPrinterChoice() = default;

QPrinter& TPrinterChoice::ForSetup() {
  if (!FPrinter) FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *FPrinter;
}

QPrinter& TPrinterChoice::Current() {
  if (!FPrinter) {
    if (QPrinterInfo::defaultPrinter().isNull()) {
      throw EPennacrowError(Tr("当前未选定默认的打印机"));
    }
    FPrinter = std::make_unique<QPrinter>(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
  }
  return *FPrinter;
}

void TPrinterChoice::Use(std::unique_ptr<QPrinter> printer) {
  FPrinter = std::move(printer);
}

void DrawBitmapStretched(QPainter& canvas, const QRect& rect, const TBitmap& bitmap) {
  canvas.save();
  canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
  canvas.drawImage(QRect(0, 0, rect.width(), rect.height()), ToQImage(bitmap));
  canvas.restore();
}

void PaintImageAtScale(QPainter& canvas, const QPrinter& printer, const TBitmap& bitmap,
                       int percent) {
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  const std::optional<TPrintSize> size =
      PrintTargetSize(bitmap.Width(), bitmap.Height(), page.width(), page.height(), percent);
  if (size) DrawBitmapStretched(canvas, QRect(0, 0, size->Width, size->Height), bitmap);
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
  if (!printer.isValid()) throw EPennacrowError(Tr("选定的打印机无效"));
  QPainter canvas;
  if (!canvas.begin(&printer)) throw EPennacrowError(Tr("选定的打印机无效"));
  try {
    PaintImageAtScale(canvas, printer, *bitmap, percent);
  } catch (...) {
    printer.abort();
    canvas.end();
    throw;
  }
  canvas.end();
}

}  // namespace pennacrow
