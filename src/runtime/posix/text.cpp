#include "runtime/text.hpp"

#include <iconv.h>

#include <cerrno>
#include <optional>
#include <string>

#include "runtime/code_page_table.hpp"
#include "runtime/error.hpp"
#include "runtime/utf8.hpp"

// CP932 through glibc's iconv, fixed up where glibc and Windows code page 932 disagree. iconv
// answers for one character at a time, and the table keeps the answers.
namespace kbnset::runtime {

namespace {

// One iconv conversion descriptor per direction and thread, opened on first use.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw ConversionError(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { ::iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The conversion of one character; none when iconv refuses it.
    std::optional<std::string> convert(std::string_view bytes) {
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string in(bytes);  // iconv wants a non-const input pointer
        char* src = in.data();
        std::size_t srcLeft = in.size();
        char out[16];
        char* dst = out;
        std::size_t dstLeft = sizeof out;
        if (::iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) ||
            srcLeft != 0)
            return std::nullopt;
        return std::string(out, sizeof out - dstLeft);
    }

  private:
    iconv_t cd_;
};

Converter& decoder() {
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

Converter& encoder() {
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

// Windows decodes the single byte 0x80 to U+0080; glibc refuses it.
constexpr unsigned char kExtraByte = 0x80;
constexpr char32_t kExtraCharacter = 0x80;

class Cp932 : public CodePageConverter {
  public:
    bool isLeadByte(unsigned char b) const override {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    }

    std::optional<char32_t> decode(std::string_view bytes) const override {
        if (bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) == kExtraByte)
            return kExtraCharacter;
        return single(decoder().convert(bytes));
    }

    // glibc also takes some characters that it cannot decode back (U+00A5 and U+203E to 0x5C
    // and 0x7E, for one); Windows refuses those, so only an encoding that decodes back to the
    // character counts.
    std::optional<std::string> encode(char32_t c) const override {
        if (c == kExtraCharacter) return std::string(1, static_cast<char>(kExtraByte));
        std::string text;
        utf8::append(c, text);
        std::optional<std::string> bytes = encoder().convert(text);
        if (!bytes || decoder().convert(*bytes) != text) return std::nullopt;
        return bytes;
    }

  private:
    static std::optional<char32_t> single(const std::optional<std::string>& text) {
        if (!text || text->empty()) return std::nullopt;
        std::size_t pos = 0;
        const char32_t c = utf8::next(*text, pos);
        if (pos != text->size()) return std::nullopt;
        return c;
    }
};

const Cp932 kCp932;

}  // namespace

char* fromAnsi(std::string_view bytes, char* out) {
    return decodeWithTable(kCp932, bytes, out);
}

char* toAnsi(std::string_view utf8, char* out) {
    return encodeWithTable(kCp932, utf8, out);
}

}  // namespace kbnset::runtime
