#pragma once

#include <optional>
#include <string>
#include <string_view>

// The ANSI code page (one or two bytes a character) as a table filled from the platform's
// own converter: each byte, byte pair and character is handed to the platform the first time
// it is met and the answer is kept, so a value costs a look-up per character instead of a
// converter call, and no mapping is written by hand. Refusals are kept like answers.
namespace kbnset::runtime {

class CodePageConverter {
  public:
    virtual ~CodePageConverter() = default;
    virtual bool isLeadByte(unsigned char byte) const = 0;
    // The one character that `bytes` (a single byte, or a lead byte and one more) decodes to;
    // none when the platform refuses them or gives anything but exactly one character.
    virtual std::optional<char32_t> decode(std::string_view bytes) const = 0;
    // The one or two bytes that encode `c` exactly; none when there are none.
    virtual std::optional<std::string> encode(char32_t c) const = 0;
};

// Write the conversion at `out` and return its end; `out` has room for kFromAnsiRoom bytes per
// byte of `bytes` or kToAnsiRoom per byte of `text` (text.hpp). NUL, bytes that do not
// decode, a lead byte at the end, broken UTF-8 and characters that the code page cannot hold
// raise ConversionError. Only one converter is ever used in a process: the first one given
// fills the table.
char* decodeWithTable(const CodePageConverter& platform, std::string_view bytes, char* out);
char* encodeWithTable(const CodePageConverter& platform, std::string_view text, char* out);

}  // namespace kbnset::runtime
