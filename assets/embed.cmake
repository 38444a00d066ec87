# Writes a C++ source holding the bytes of each file as an array, in the order given.
#   cmake -DOUT=embedded_files.cpp -DFILES=a|b|c -P embed.cmake
# Runs on the build machine only, so a cross build needs no program of its own here.
string(REPLACE "|" ";" files "${FILES}")
set(body "// Generated from the files in assets/ by embed.cmake; do not edit.\n#include <cstdint>\n#include <span>\n\nnamespace wintrel::assets::detail {\nnamespace {\n")
set(spans "")
set(index 0)
# 24 bytes a line (CMake's expressions have no counted repeats).
string(REPEAT "0x..," 24 row)
foreach(file ${files})
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "(${row})" "\\1\n" hex "${hex}")
  get_filename_component(name "${file}" NAME)
  string(APPEND body "// ${name}, ${size} bytes\nalignas(4) const uint8_t kFile${index}[${size}] = {\n${hex}\n};\n")
  string(APPEND spans "    std::span<const uint8_t>(kFile${index}),\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "}  // namespace\n\nextern const std::span<const uint8_t> kEmbedded[${index}];\nconst std::span<const uint8_t> kEmbedded[${index}] = {\n${spans}};\n\n}  // namespace wintrel::assets::detail\n")
file(WRITE "${OUT}.tmp" "${body}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
