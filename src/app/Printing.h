#pragma once
// Printing the working bitmap on one page at a scale: the size comes from the core's fitting
// rule; this layer only talks to Qt's printer.

#include <QRect>
#include <QString>
#include <memory>

#include "app/Language.h"
#include "picture/Bitmap.h"
#include "picture/FractalImage.h"

class QImage;
class QPainter;
class QPrintDialog;
class QPrintPreviewDialog;
class QPrinter;
class QWidget;

namespace pennacrow {

// The printer the print commands use: the one confirmed last in the set-up dialog, else the
// system's default. It is kept as settings only. The set-up dialog and the preview work on a
// copy, and every print job on a printer of its own, so that a cancelled dialog, a closed
// preview or a job that failed leaves the choice as it was and every command usable.
class TPrinterChoice {
 public:
  TPrinterChoice();
  ~TPrinterChoice();
  TPrinterChoice(const TPrinterChoice&) = delete;
  TPrinterChoice& operator=(const TPrinterChoice&) = delete;

  // A new printer with the chosen settings; with nothing chosen, the system's default printer,
  // or one that prints into a PDF file not yet named when the system has none.
  std::unique_ptr<QPrinter> Copy() const;
  // A new printer for one print job. Raises "当前未选定默认的打印机" when nothing can print
  // (no printer chosen and none in the system), "选定的打印机无效" when the chosen printer
  // has gone.
  std::unique_ptr<QPrinter> ForJob() const;
  // Makes printer's settings the choice: the set-up dialog's, once confirmed, or a file printer.
  void Use(std::unique_ptr<QPrinter> printer);

 private:
  std::unique_ptr<QPrinter> FPrinter;
};

// Prints the working bitmap on one page of printer at percent of its fitted size, at the
// top-left corner of the printable area. No picture prints nothing and opens no job. What can
// fail is done before the job starts, and a page for a file is made aside and replaces the
// file only once complete, so a print that fails leaves no job open and no file changed. The
// wait cursor shows throughout and comes back in every case.
void PrintImageAtScale(QPrinter& printer, TFractalImage& picture, int percent);

// Draws the whole bitmap stretched into (0, 0, rect width, rect height), unsmoothed.
void DrawBitmapStretched(QPainter& canvas, const QRect& rect, const TBitmap& bitmap);
void DrawBitmapStretched(QPainter& canvas, const QRect& rect, const QImage& image);

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
