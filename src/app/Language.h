#pragma once
// The desktop program speaks through the same catalogue as the core and the command line.

#include <QString>

#include "base/Translate.h"

namespace pennacrow {

// The message in the user's language; values go in with QString::arg (%1, %2, …).
inline QString QTr(const char* text) {
  return QString::fromStdString(Tr(text));
}

// Loads Qt's own translations for the standard dialogs' buttons and texts when the user's
// language is Chinese; English needs none. Call once the application object exists.
void InstallQtTranslations();

}  // namespace pennacrow
