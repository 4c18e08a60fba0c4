# The guide as the package carries it: text that Notepad opens without guessing (UTF-8 with a
# byte-order mark, CR LF), without the picture lines, since the pictures stay behind.
# Usage: cmake -DIN=<guide-ja.md> -DOUT=<guide-ja.txt> -P guide-text.cmake
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
if(NOT text MATCHES "\n$")
  string(APPEND text "\n")
endif()
# Each line that starts with "![" goes, its line end with it.
string(REGEX REPLACE "\n!\\[[^\n]*" "" text "\n${text}")
string(SUBSTRING "${text}" 1 -1 text)
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 bom)
file(WRITE "${OUT}" "${bom}${text}")
