#include "app/Printing.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "app/BitmapImage.h"
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
      throw EPennacrowError("当前未选定默认的打印机");
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

void PrintImageAtScale(QPrinter& printer, TFractalImage& picture, int percent) {
  TWaitCursor wait;
  const TBitmap* bitmap = picture.PictureOrNull();
  if (bitmap == nullptr || bitmap->Empty()) return;  // nothing to print, no job opened
  if (!printer.isValid()) throw EPennacrowError("选定的打印机无效");
  QPainter canvas;
  if (!canvas.begin(&printer)) throw EPennacrowError("选定的打印机无效");
  try {
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const std::optional<TPrintSize> size =
        PrintTargetSize(bitmap->Width(), bitmap->Height(), page.width(), page.height(), percent);
    if (size) {
      DrawBitmapStretched(canvas, QRect(0, 0, size->Width, size->Height), *bitmap);
    }
  } catch (...) {
    printer.abort();
    canvas.end();
    throw;
  }
  canvas.end();
}

}  // namespace pennacrow
