#pragma once
// TAnalysisForm: the detectability report of the working bitmap, with a picture of each channel's
// low bits and, after a write, a map of the bytes the write changed. It only shows; the report
// and the pictures' contents come from the core.

#include <QDialog>
#include <QImage>
#include <functional>
#include <optional>
#include <vector>

#include "picture/Bitmap.h"

class QPlainTextEdit;
class QTabWidget;

namespace pennacrow {

// What the window shows, made off the GUI thread: the report as text, a grey picture of each
// channel's low bits and, after a write, the map of what it changed with its counts.
struct TAnalysisPages {
  struct TPage {
    QString Title;
    QImage Picture;
    QString Counts;
  };
  QString Report;
  std::vector<TPage> Planes;
  std::optional<TPage> Difference;
};

// The pages for bitmap; beforeWrite, when given, is the picture as it was before the last write.
// checkpoint, when given, is called between the steps and may raise to stop the work there.
// Touches no widget, so it may run on any thread.
TAnalysisPages MakeAnalysisPages(const TBitmap& bitmap, const TBitmap* beforeWrite,
                                 const QString& title,
                                 const std::function<void()>& checkpoint = {});

class TAnalysisForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAnalysisForm(QWidget* parent = nullptr);

  void ShowPages(TAnalysisPages pages);
  // Makes the pages and shows them, on the GUI thread.
  void ShowReport(const TBitmap& bitmap, const TBitmap* beforeWrite, const QString& title);

  QPlainTextEdit* ReportText = nullptr;
  QTabWidget* Pictures = nullptr;
};

}  // namespace pennacrow
