# Writes a C++ source carrying the bytes of every DATA resource that the
# resource script names, for builds that have no resource compiler. The
# script stays the one list of what the program carries.
#   cmake -DRC=<lvn.rc> -DROOT=<folder its file names start from> -DOUT=<.cpp> -P embed.cmake
file(STRINGS "${RC}" lines REGEX "^[A-Za-z0-9_]+[ \t]+DATA[ \t]+\"")
set(arrays "")
set(names "")
set(bytes "")
set(sizes "")
set(count 0)
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([A-Za-z0-9_]+)[ \t]+DATA[ \t]+\"([^\"]+)\"" matched "${line}")
  # The resource compiler keeps names in capitals.
  string(TOUPPER "${CMAKE_MATCH_1}" name)
  file(READ "${ROOT}/${CMAKE_MATCH_2}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," content "${hex}")
  if(size EQUAL 0)
    set(content "0")  # an array may not be empty; the size says 0
  endif()
  string(APPEND arrays "const unsigned char resource_${count}[] = {${content}};\n")
  string(APPEND names "    \"${name}\",\n")
  string(APPEND bytes "    resource_${count},\n")
  string(APPEND sizes "    ${size},\n")
  math(EXPR count "${count} + 1")
endforeach()

file(WRITE "${OUT}" "// Made by resources/embed.cmake from resources/lvn.rc at build time.
#include <cstddef>

namespace platform {
namespace posix {
namespace {
${arrays}}  // namespace

extern const size_t kEmbeddedCount = ${count};
extern const char* const kEmbeddedNames[] = {
${names}};
extern const unsigned char* const kEmbeddedBytes[] = {
${bytes}};
extern const size_t kEmbeddedSizes[] = {
${sizes}};

}  // namespace posix
}  // namespace platform
")
