#include "app/ColourScheme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace pennacrow {

namespace {

const char* const kPortalService = "org.freedesktop.portal.Desktop";
const char* const kPortalPath = "/org/freedesktop/portal/desktop";
const char* const kSettingsInterface = "org.freedesktop.portal.Settings";
const char* const kAppearance = "org.freedesktop.appearance";
const char* const kColourSchemeKey = "color-scheme";
constexpr int kPortalTimeoutMs = 250;

// Keeps the platform's palette, to go back to when the user no longer prefers dark.
class TColourSchemeFollower : public QObject {
  Q_OBJECT
 public:
  explicit TColourSchemeFollower(QApplication& application)
      : QObject(&application), FPlatform(QApplication::palette()) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    // The whole message, not typed arguments: Qt 6.4 refuses a slot taking a QDBusVariant
    // until its D-Bus types have been used once.
    bus.connect(kPortalService, kPortalPath, kSettingsInterface, "SettingChanged", this,
                SLOT(SettingChanged(QDBusMessage)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface, "Read");
    read << QString(kAppearance) << QString(kColourSchemeKey);
    // Asked before any window shows, so none flashes light first; a portal that has not
    // answered within a quarter of a second leaves the platform's palette.
    const QDBusMessage reply = bus.call(read, QDBus::Block, kPortalTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      Apply(ColourSchemeFromPortal(reply.arguments().first()));
    }
  }

 private slots:
  void SettingChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() == 3 && arguments[0].toString() == kAppearance &&
        arguments[1].toString() == kColourSchemeKey) {
      Apply(ColourSchemeFromPortal(arguments[2]));
    }
  }

 private:
  void Apply(TColourScheme scheme) {
    const QPalette wanted = PaletteForScheme(FPlatform, scheme);
    if (wanted != QApplication::palette()) QApplication::setPalette(wanted);
  }

  QPalette FPlatform;
};

}  // namespace

TColourScheme ColourSchemeFromPortal(const QVariant& value) {
  QVariant inner = value;
  for (int depth = 0; depth < 4 && inner.metaType() == QMetaType::fromType<QDBusVariant>();
       ++depth) {
    inner = inner.value<QDBusVariant>().variant();
  }
  bool ok = false;
  const uint code = inner.toUInt(&ok);
  if (!ok) return TColourScheme::NoPreference;
  if (code == 1) return TColourScheme::Dark;
  if (code == 2) return TColourScheme::Light;
  return TColourScheme::NoPreference;
}

bool IsDarkPalette(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() < 128;
}

QPalette DarkPalette() {
  const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), mid(90, 90, 94);
  const QColor disabled(128, 128, 128), highlight(61, 122, 184);
  QPalette p(window);
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::WindowText, text);
    p.setColor(group, QPalette::Text, text);
    p.setColor(group, QPalette::ButtonText, text);
    p.setColor(group, QPalette::BrightText, Qt::white);
    p.setColor(group, QPalette::HighlightedText, Qt::white);
    p.setColor(group, QPalette::PlaceholderText, QColor(160, 160, 160));
  }
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText}) {
    p.setColor(QPalette::Disabled, role, disabled);
  }
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::Button, QColor(55, 55, 58));
  p.setColor(QPalette::Light, QColor(75, 75, 78));
  p.setColor(QPalette::Midlight, QColor(65, 65, 68));
  p.setColor(QPalette::Mid, mid);
  p.setColor(QPalette::Dark, QColor(25, 25, 27));
  p.setColor(QPalette::Shadow, Qt::black);
  p.setColor(QPalette::Highlight, highlight);
  p.setColor(QPalette::Disabled, QPalette::Highlight, mid);
  p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Link, QColor(110, 170, 240));
  p.setColor(QPalette::LinkVisited, QColor(170, 140, 230));
  return p;
}

QPalette PaletteForScheme(const QPalette& platform, TColourScheme scheme) {
  if (scheme == TColourScheme::Dark && !IsDarkPalette(platform)) return DarkPalette();
  return platform;
}

void FollowDesktopColourScheme(QApplication& application) {
  new TColourSchemeFollower(application);
}

}  // namespace pennacrow

#include "ColourScheme.moc"
