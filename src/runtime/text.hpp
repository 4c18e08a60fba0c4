#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text conversions. Inside the program text is UTF-8; on disk it is the ANSI code page
// (CP932 on the target systems).
namespace kbnset::runtime {

// ANSI code page bytes to UTF-8. Bytes that do not decode, and NUL, raise ConversionError:
// a replacement character would be written back as different bytes.
std::string fromAnsi(std::string_view bytes);
// The same, appended to `out` (on failure `out` may hold part of the conversion).
void appendFromAnsi(std::string_view bytes, std::string& out);

// UTF-8 to ANSI code page bytes. A character that the code page cannot hold raises
// ConversionError rather than becoming '?'.
std::string toAnsi(std::string_view utf8);
// The same, appended to `out` (on failure `out` may hold part of the conversion).
void appendAnsi(std::string_view utf8, std::string& out);

// Upper case and half-width forms, as Windows maps them in the Japanese locale
// (LCMapStringEx with LCMAP_UPPERCASE | LCMAP_HALFWIDTH).
std::string toUpperHalfwidth(std::string_view utf8);

// An optionally signed run of decimal digits with blanks (space, tab) around it.
// Anything else raises ConversionError; a value outside 32 bits raises OverflowError.
std::int32_t toLong(std::string_view text);

}  // namespace kbnset::runtime
