# Writes INPUT's bytes as a C++ array named NAME into OUTPUT (run with cmake -P).
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.\n#include \"base/Catalogue.h\"\n\n"
  "namespace pennacrow {\n\nconst unsigned char ${NAME}[] = {\n${bytes}0};\n"
  "const std::size_t ${NAME}Size = ${size};\n\n}  // namespace pennacrow\n")
