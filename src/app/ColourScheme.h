#pragma once
// Light or dark: the program follows the platform's palette, and where the desktop says through
// the settings portal that the user prefers dark while the platform's palette is light (Qt 6.4
// has no colour scheme of its own), it takes a dark palette of ours. Everything the program
// draws itself takes its colours from the palette's roles.

#include <QPalette>
#include <QVariant>

class QApplication;

namespace pennacrow {

enum class TColourScheme { NoPreference, Dark, Light };

// The portal's "org.freedesktop.appearance" "color-scheme" value, however many D-Bus variants
// wrap it: 1 dark, 2 light, anything else no preference.
TColourScheme ColourSchemeFromPortal(const QVariant& value);

bool IsDarkPalette(const QPalette& palette);
QPalette DarkPalette();

// The platform's palette, unless the scheme asks for dark and that palette is light.
QPalette PaletteForScheme(const QPalette& platform, TColourScheme scheme);

// Reads the desktop's colour scheme from the settings portal, waiting a quarter of a second at
// most, and follows its changes while the application runs. Without a session bus or a portal
// nothing changes.
void FollowDesktopColourScheme(QApplication& application);

}  // namespace pennacrow
