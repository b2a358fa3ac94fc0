#pragma once
// Printing the working bitmap on one page at a scale: the size comes from the core's fitting
// rule; this layer only talks to Qt's printer.

#include <QRect>
#include <memory>

#include "picture/Bitmap.h"
#include "picture/FractalImage.h"

class QPainter;
class QPrinter;

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

}  // namespace pennacrow
