#include "app/PicturePreview.h"

#include <QDialog>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "app/BitmapImage.h"
#include "app/Language.h"
#include "formats/Registry.h"
#include "picture/FractalImage.h"

namespace pennacrow {

namespace {

constexpr int kPaneSize = 200;

struct TDecodedPreview {
  QImage Picture;
  QImage Thumbnail;
};

// Decodes a file for the pane, off the GUI thread: a photograph takes a while, and the dialog
// must keep answering meanwhile. A file that does not decode gives nothing.
TDecodedPreview DecodePreview(const std::string& fileName) {
  TDecodedPreview decoded;
  try {
    TFractalImage picture(FileFormats());
    picture.LoadPictureFile(fileName);
    if (const TBitmap* bitmap = picture.PictureOrNull(); bitmap != nullptr && !bitmap->Empty()) {
      decoded.Picture = ToQImage(*bitmap);
      decoded.Thumbnail = decoded.Picture.scaled(kPaneSize, kPaneSize, Qt::KeepAspectRatio,
                                                 Qt::SmoothTransformation);
    }
  } catch (...) {
    decoded = {};
  }
  return decoded;
}

class TPreviewPane : public QWidget {
 public:
  explicit TPreviewPane(QWidget* parent) : QWidget(parent) {
    setObjectName("PicturePreview");
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
    FImage->setFixedSize(kPaneSize, kPaneSize);
    FImage->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(FImage);
    layout->addStretch(1);
    QObject::connect(FButton, &QToolButton::clicked, this, [this] { ShowWindow(); });
    QObject::connect(&FDecoding, &QFutureWatcher<TDecodedPreview>::finished, this,
                     [this] { Show(FDecoding.result()); });
  }

  // A newer selection takes the watcher over, so an older decode that ends later is ignored.
  void Select(const QString& fileName) {
    Show({});
    FDecoding.setFuture(QtConcurrent::run(DecodePreview, fileName.toStdString()));
  }

 private:
  void Show(const TDecodedPreview& decoded) {
    FPicture = decoded.Picture;
    if (FPicture.isNull()) {
      FCaption->setText(QTr("图片："));
      FImage->setPixmap({});
      FImage->setText(QTr("（无）"));
      FButton->setEnabled(false);
      return;
    }
    FCaption->setText(QString::asprintf(" (%dx%d)", FPicture.width(), FPicture.height()));
    FImage->setPixmap(QPixmap::fromImage(decoded.Thumbnail));
    FButton->setEnabled(true);
  }

  void ShowWindow() {
    MakePreviewWindow(FPicture, this)->exec();  // QDialog closes on Esc
  }

  QLabel* FCaption;
  QLabel* FImage;
  QToolButton* FButton;
  QImage FPicture;
  QFutureWatcher<TDecodedPreview> FDecoding;
};

}  // namespace

QSize PreviewPictureSize(QSize picture, QSize room) {
  if (picture.isEmpty()) return {0, 0};
  if (picture.width() <= room.width() && picture.height() <= room.height()) return picture;
  return picture.scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
}

std::unique_ptr<QDialog> MakePreviewWindow(const QImage& picture, QWidget* parent) {
  auto window = std::make_unique<QDialog>(parent);
  window->setWindowTitle(QTr("预览"));
  constexpr int kMargin = 5;
  // A tenth of the screen is left for the window manager's frame and some air, and the window
  // is centred on the screen rather than over its parent, so its title bar is never off-screen.
  QRect available(0, 0, 1024, 768);
  if (const QScreen* screen = parent != nullptr ? parent->screen() : nullptr) {
    available = screen->availableGeometry();
  }
  const QSize room = available.size() * 9 / 10 - QSize(2 * kMargin, 2 * kMargin);
  const QSize shown = PreviewPictureSize(picture.size(), room);
  auto* label = new QLabel(window.get());
  label->setObjectName("PreviewPicture");
  label->setAlignment(Qt::AlignCenter);
  label->setPixmap(QPixmap::fromImage(
      shown == picture.size()
          ? picture
          : picture.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  auto* layout = new QVBoxLayout(window.get());
  layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  layout->addWidget(label);
  window->setFixedSize(shown + QSize(2 * kMargin, 2 * kMargin));
  window->move(available.center() - window->rect().center());
  return window;
}

void AttachPicturePreview(QFileDialog& dialog) {
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  if (grid == nullptr) return;
  auto* pane = new TPreviewPane(&dialog);
  grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
  QObject::connect(&dialog, &QFileDialog::currentChanged, pane,
                   [pane](const QString& file) { pane->Select(file); });
}

}  // namespace pennacrow
