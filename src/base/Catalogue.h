#pragma once
// The English catalogue, po/en.po compiled by msgfmt and embedded by the build.

#include <cstddef>

namespace pennacrow {

extern const unsigned char kEnglishCatalogue[];
extern const std::size_t kEnglishCatalogueSize;

}  // namespace pennacrow
