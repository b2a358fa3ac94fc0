#include "app/SplashForm.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "app/BitmapImage.h"
#include "formats/JPEGImage.h"
#include "picture/Errors.h"

// The resources live in a static library; naming them here keeps the linker from dropping them.
// Q_INIT_RESOURCE must be used outside any namespace.
static void InitPennacrowResources() {
  Q_INIT_RESOURCE(pennacrow);
}

namespace pennacrow {

void InitShellResources() {
  InitPennacrowResources();
}

QImage SplashPicture() {
  InitShellResources();
  QFile file(":/splash.jpg");
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  try {
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
    return ToQImage(*jpeg.GetBitmap());
  } catch (const EPennacrowError&) {
    return {};
  }
}

Tsplashform::Tsplashform() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("splashform");
  setFixedSize(kWidth, kHeight);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(0, 0, kWidth, kHeight);
  const QImage picture = SplashPicture();
  if (!picture.isNull()) {
    Image1->setPixmap(QPixmap::fromImage(picture));
    Image1->resize(picture.size());
  }
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

}  // namespace pennacrow
