#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Text conversions. Inside the program text is UTF-8; on disk it is the ANSI code page
// (CP932 on the target systems).
namespace kbnset::runtime {

// ANSI code page bytes to UTF-8. Bytes that do not decode, and NUL, raise ConversionError:
// a replacement character would be written back as different bytes.
std::string fromAnsi(std::string_view bytes);

// UTF-8 to ANSI code page bytes. A character that the code page cannot hold raises
// ConversionError rather than becoming '?'.
std::string toAnsi(std::string_view utf8);

// The same, written at `out` with room for kFromAnsiRoom (kToAnsiRoom) bytes per byte of the
// input; they return the end. The reader and the writer convert into buffers they keep.
inline constexpr std::size_t kFromAnsiRoom = 4;
inline constexpr std::size_t kToAnsiRoom = 2;
char* fromAnsi(std::string_view bytes, char* out);
char* toAnsi(std::string_view utf8, char* out);

// Upper case and half-width forms, as Windows maps them in the Japanese locale
// (LCMapStringEx with LCMAP_UPPERCASE | LCMAP_HALFWIDTH).
std::string toUpperHalfwidth(std::string_view utf8);

}  // namespace kbnset::runtime
