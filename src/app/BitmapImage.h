#pragma once
// The one place where the working bitmap and Qt's QImage meet.

#include <QImage>

#include "picture/Bitmap.h"

namespace pennacrow {

// A 32-bit RGB image of the bitmap's rows from first to last (exclusive), for the screen and the
// printer.
QImage ToQImage(const TBitmap& bitmap);
QImage ToQImage(const TBitmap& bitmap, int firstRow, int lastRow);

}  // namespace pennacrow
