#pragma once
// Printing the working bitmap on one page at a scale: the size comes from the core's fitting
// rule; this layer only talks to Qt's printer.

#include <QRect>
#include <QString>
#include <memory>

#include "app/Language.h"
#include "picture/Bitmap.h"
#include "picture/FractalImage.h"

class QPainter;
class QPrintDialog;
class QPrintPreviewDialog;
class QPrinter;
class QWidget;

namespace pennacrow {

// The printer the print commands use: the one chosen in the set-up dialog, else the system's
// default. Raises "当前未选定默认的打印机" when there is none.
class TPrinterChoice {
 public:
  TPrinterChoice();
  ~TPrinterChoice();
  TPrinterChoice(const TPrinterChoice&) = delete;
  TPrinterChoice& operator=(const TPrinterChoice&) = delete;

  QPrinter& Current();
  // The printer the set-up dialog configures (the default printer until one is chosen).
  QPrinter& ForSetup();
  // Replaces the printer, for instance by one that prints into a PDF file.
  void Use(std::unique_ptr<QPrinter> printer);

 private:
  std::unique_ptr<QPrinter> FPrinter;
};

// Prints the working bitmap on one page of printer at percent of its fitted size, at the top-left
// corner of the printable area. No picture prints nothing and opens no job. A failure after
// the job started aborts it. The wait cursor shows throughout and comes back in every case.
void PrintImageAtScale(QPrinter& printer, TFractalImage& picture, int percent);

// Draws the whole bitmap stretched into (0, 0, rect width, rect height), unsmoothed.
void DrawBitmapStretched(QPainter& canvas, const QRect& rect, const TBitmap& bitmap);

// Draws on canvas, open on printer or on its preview, what printing the bitmap at percent puts
// on the page.
void PaintImageAtScale(QPainter& canvas, const QPrinter& printer, const TBitmap& bitmap,
                       int percent);

// Where the last job of printer went when it writes a file instead of printing ("图像已打印到
// 文件：..."); empty for a real printer.
QString PrintedToFileMessage(const QPrinter& printer);

// The printer set-up dialog: Qt's print dialog, but it only keeps the choice of printer and
// paper for later print commands, so its confirm button says so instead of "print".
std::unique_ptr<QPrintDialog> MakePrinterSetupDialog(QPrinter& printer, QWidget* parent);

// A preview of the page the print commands print on printer, at percent to start with; a
// chooser in its tool bar switches between the print menu's scales. The picture must outlive
// the dialog.
std::unique_ptr<QPrintPreviewDialog> MakePrintPreview(QPrinter& printer,
                                                      const TFractalImage& picture, int percent,
                                                      QWidget* parent);

// The captions of the print menu's preview command and of the preview's scale chooser.
inline constexpr const char* kPrintPreviewCaption = N_("打印预览");
inline constexpr const char* kPrintScaleCaption = N_("比例：");

}  // namespace pennacrow
