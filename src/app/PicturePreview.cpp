#include "app/PicturePreview.h"

#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/BitmapImage.h"
#include "app/Language.h"
#include "formats/Registry.h"
#include "picture/FractalImage.h"

namespace pennacrow {

namespace {

class TPreviewPane : public QWidget {
 public:
  explicit TPreviewPane(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    FCaption = new QLabel(QTr("图片："), this);
    FButton = new QToolButton(this);
    FButton->setText(QTr("预览"));
    FButton->setToolTip(QTr("预览"));
    FButton->setEnabled(false);
    top->addWidget(FCaption, 1);
    top->addWidget(FButton);
    layout->addLayout(top);
    FImage = new QLabel(QTr("（无）"), this);
    FImage->setAlignment(Qt::AlignCenter);
    FImage->setFixedSize(200, 200);
    FImage->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(FImage);
    layout->addStretch(1);
    QObject::connect(FButton, &QToolButton::clicked, this, [this] { ShowWindow(); });
  }

  void Select(const QString& fileName) {
    FPicture = QImage();
    try {
      TFractalImage picture(FileFormats());
      picture.LoadPictureFile(fileName.toStdString());
      if (const TBitmap* bitmap = picture.PictureOrNull()) FPicture = ToQImage(*bitmap);
    } catch (const std::exception&) {
      FPicture = QImage();
    }
    if (FPicture.isNull()) {
      FCaption->setText(QTr("图片："));
      FImage->setPixmap({});
      FImage->setText(QTr("（无）"));
      FButton->setEnabled(false);
      return;
    }
    FCaption->setText(QString::asprintf(" (%dx%d)", FPicture.width(), FPicture.height()));
    FImage->setPixmap(QPixmap::fromImage(
        FPicture.scaled(FImage->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    FButton->setEnabled(true);
  }

 private:
  void ShowWindow() {
    QDialog window(this);
    window.setWindowTitle(QTr("预览"));
    auto* label = new QLabel(&window);
    label->setPixmap(QPixmap::fromImage(FPicture));
    label->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addWidget(label);
    QSize size = FPicture.size() + QSize(10, 10);
    if (const QScreen* screen = window.screen()) {
      const QSize limit = screen->availableGeometry().size() * 3 / 4;
      size = size.boundedTo(limit);
    }
    window.resize(size);
    window.exec();  // QDialog closes on Esc
  }

  QLabel* FCaption;
  QLabel* FImage;
  QToolButton* FButton;
  QImage FPicture;
};

}  // namespace

void AttachPicturePreview(QFileDialog& dialog) {
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  if (grid == nullptr) return;
  auto* pane = new TPreviewPane(&dialog);
  grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
  QObject::connect(&dialog, &QFileDialog::currentChanged, pane,
                   [pane](const QString& file) { pane->Select(file); });
}

}  // namespace pennacrow
