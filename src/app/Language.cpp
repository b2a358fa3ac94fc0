#include "app/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace pennacrow {

void InstallQtTranslations() {
  if (CurrentLanguage() != TLanguage::Chinese) return;
  // Parented to the application, which outlives every window that uses it.
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  }
}

}  // namespace pennacrow
