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

// A grey picture of width x height bytes, at natural size in a scroll box, centred, as the
// picture view shows the working bitmap.
QScrollArea* PictureBox(const std::vector<std::uint8_t>& grey, int width, int height) {
  QImage image(grey.data(), width, height, width, QImage::Format_Grayscale8);
  auto* label = new QLabel;
  label->setPixmap(QPixmap::fromImage(image.copy()));
  auto* box = new QScrollArea;
  box->setWidget(label);
  box->setAlignment(Qt::AlignCenter);
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
  ReportText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Pictures = new QTabWidget(this);
  Pictures->setObjectName("Pictures");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(QTr("关闭"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ReportText, 2);
  layout->addWidget(Pictures, 3);
  layout->addWidget(buttons);
}

void TAnalysisForm::ShowReport(const TBitmap& bitmap, const TBitmap* beforeWrite,
                               const QString& title) {
  const analysis::TAnalysisReport report = analysis::AnalyzeBitmap(bitmap);
  ReportText->setPlainText(
      QString::fromStdString(analysis::FormatReport(report, title.toStdString())));
  Pictures->clear();
  for (int c = 0; c < static_cast<int>(report.Channels.size()); ++c) {
    Pictures->addTab(PictureBox(analysis::LowBitPlane(bitmap, c), bitmap.Width(), bitmap.Height()),
                     QString::fromStdString(analysis::PlaneTitle(report.Channels[c].Name)));
  }
  if (beforeWrite == nullptr) return;
  const auto difference = analysis::WriteDifference(*beforeWrite, bitmap);
  if (!difference) return;
  // Changed pixels white on black, so a few of them still show.
  std::vector<std::uint8_t> map(difference->Changed.size());
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = difference->Changed[i] != 0 ? 255 : 0;
  auto* page = new QWidget;
  auto* row = new QHBoxLayout(page);
  row->addWidget(PictureBox(map, difference->Width, difference->Height), 1);
  auto* counts = new QLabel(QString::fromStdString(analysis::DifferenceText(*difference)));
  counts->setObjectName("DifferenceCounts");
  counts->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  row->addWidget(counts);
  Pictures->addTab(page, QString::fromStdString(analysis::DifferenceTitle()));
  Pictures->setCurrentWidget(page);
}

}  // namespace pennacrow
