# The program's catalogue reader looks strings up by their msgid alone: a context or a plural
# form would be compiled by msgfmt and then never found, and the English text would silently be
# the Chinese one. Refuse them here instead.
file(STRINGS ${INPUT} unsupported REGEX "^[ \t]*(msgctxt|msgid_plural)")
if(unsupported)
  list(GET unsupported 0 first)
  message(FATAL_ERROR "${INPUT}: contexts and plural forms are not supported by the catalogue reader: ${first}")
endif()
