#pragma once
// TAnalysisForm: the detectability report of the working bitmap, with a picture of each channel's
// low bits and, after a write, a map of the bytes the write changed. It only shows; the report
// and the pictures' contents come from the core.

#include <QDialog>

#include "picture/Bitmap.h"

class QPlainTextEdit;
class QTabWidget;

namespace pennacrow {

class TAnalysisForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAnalysisForm(QWidget* parent = nullptr);

  // Fills the dialog for bitmap; beforeWrite, when given, is the picture as it was before the
  // last write, for the difference map.
  void ShowReport(const TBitmap& bitmap, const TBitmap* beforeWrite, const QString& title);

  QPlainTextEdit* ReportText = nullptr;
  QTabWidget* Pictures = nullptr;
};

}  // namespace pennacrow
