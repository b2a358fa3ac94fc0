#include "app/AnalysisForm.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include "analysis/Analysis.h"
#include "app/Language.h"

namespace pennacrow {

namespace {

const char* const kReportName = N_("检测报告");
const char* const kPicturesName = N_("最低位图片");

QImage GreyImage(const std::vector<std::uint8_t>& grey, int width, int height) {
  return QImage(grey.data(), width, height, width, QImage::Format_Grayscale8).copy();
}

// A picture at natural size in a scroll box, centred, as the picture view shows the working
// bitmap.
QScrollArea* PictureBox(const QImage& picture, const QString& title) {
  auto* label = new QLabel;
  label->setPixmap(QPixmap::fromImage(picture));
  auto* box = new QScrollArea;
  box->setWidget(label);
  box->setAlignment(Qt::AlignCenter);
  box->setAccessibleName(title);
  return box;
}

}  // namespace

TAnalysisForm::TAnalysisForm(QWidget* parent) : QDialog(parent) {
  setObjectName("AnalysisForm");
  setWindowTitle(QTr("检测风险"));
  resize(760, 640);
  ReportText = new QPlainTextEdit(this);
  ReportText->setObjectName("ReportText");
  ReportText->setReadOnly(true);
  ReportText->setAccessibleName(QTr(kReportName));
  ReportText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Pictures = new QTabWidget(this);
  Pictures->setObjectName("Pictures");
  Pictures->setAccessibleName(QTr(kPicturesName));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(QTr("关闭"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ReportText, 2);
  layout->addWidget(Pictures, 3);
  layout->addWidget(buttons);
}

TAnalysisPages MakeAnalysisPages(const TBitmap& bitmap, const TBitmap* beforeWrite,
                                 const QString& title, const std::function<void()>& checkpoint) {
  const auto step = [&checkpoint] {
    if (checkpoint) checkpoint();
  };
  TAnalysisPages pages;
  const analysis::TAnalysisReport report = analysis::AnalyzeBitmap(bitmap, checkpoint);
  pages.Report = QString::fromStdString(analysis::FormatReport(report, title.toStdString()));
  for (int c = 0; c < static_cast<int>(report.Channels.size()); ++c) {
    step();
    pages.Planes.push_back(
        {QString::fromStdString(analysis::PlaneTitle(report.Channels[c].Name)),
         GreyImage(analysis::LowBitPlane(bitmap, c), bitmap.Width(), bitmap.Height()),
         {}});
  }
  if (beforeWrite == nullptr) return pages;
  step();
  const auto difference = analysis::WriteDifference(*beforeWrite, bitmap);
  if (!difference) return pages;
  // Changed pixels white on black, so a few of them still show.
  std::vector<std::uint8_t> map(difference->Changed.size());
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = difference->Changed[i] != 0 ? 255 : 0;
  pages.Difference = {QString::fromStdString(analysis::DifferenceTitle()),
                      GreyImage(map, difference->Width, difference->Height),
                      QString::fromStdString(analysis::DifferenceText(*difference))};
  return pages;
}

void TAnalysisForm::ShowReport(const TBitmap& bitmap, const TBitmap* beforeWrite,
                               const QString& title) {
  ShowPages(MakeAnalysisPages(bitmap, beforeWrite, title));
}

void TAnalysisForm::ShowPages(TAnalysisPages pages) {
  ReportText->setPlainText(pages.Report);
  Pictures->clear();
  for (const TAnalysisPages::TPage& plane : pages.Planes) {
    Pictures->addTab(PictureBox(plane.Picture, plane.Title), plane.Title);
  }
  if (!pages.Difference) return;
  auto* page = new QWidget;
  auto* row = new QHBoxLayout(page);
  row->addWidget(PictureBox(pages.Difference->Picture, pages.Difference->Title), 1);
  auto* counts = new QLabel(pages.Difference->Counts);
  counts->setObjectName("DifferenceCounts");
  counts->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  row->addWidget(counts);
  Pictures->addTab(page, pages.Difference->Title);
  Pictures->setCurrentWidget(page);
}

}  // namespace pennacrow
