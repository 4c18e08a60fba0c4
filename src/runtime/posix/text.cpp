#include "runtime/text.hpp"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "runtime/error.hpp"

// CP932 through glibc's iconv, fixed up where glibc and Windows code page 932 disagree.
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

    // Appends the conversion of `in` to `out`. Invalid or incomplete input, and characters
    // the other side cannot hold, raise ConversionError.
    void append(std::string_view in, std::string& out) {
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string source(in);  // iconv wants a non-const input pointer
        char* src = source.data();
        std::size_t srcLeft = source.size();
        while (srcLeft > 0) {
            char chunk[1024];
            char* dst = chunk;
            std::size_t dstLeft = sizeof chunk;
            std::size_t result = ::iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(chunk, sizeof chunk - dstLeft);
            if (result == static_cast<std::size_t>(-1) && errno != E2BIG)
                throw ConversionError(errno == EINVAL ? "incomplete character"
                                                      : "character not valid in code page 932");
        }
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

bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Windows decodes the single byte 0x80 to U+0080; glibc refuses it.
struct Extra {
    unsigned char byte;
    std::string_view utf8;
};
constexpr Extra kExtras[] = {
    {0x80, "\xC2\x80"},
};

const Extra* extraForByte(unsigned char b) {
    for (const Extra& e : kExtras)
        if (e.byte == b) return &e;
    return nullptr;
}

const Extra* extraAt(std::string_view utf8) {
    for (const Extra& e : kExtras)
        if (utf8.starts_with(e.utf8)) return &e;
    return nullptr;
}

std::size_t utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    return 2;
}

// Encodes a run of UTF-8 without the extras. glibc also takes some characters that it
// cannot decode back (U+00A5 and U+203E to 0x5C and 0x7E, for one); Windows refuses those,
// so a run is accepted only when it decodes back to itself.
void encodeRun(std::string_view utf8, std::string& out) {
    std::size_t start = out.size();
    encoder().append(utf8, out);
    std::string back;
    decoder().append(std::string_view(out).substr(start), back);
    if (back != utf8) throw ConversionError("character not in code page 932");
}

}  // namespace

std::string fromAnsi(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    std::size_t run = 0;  // start of the bytes not yet converted
    for (std::size_t i = 0; i < bytes.size();) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0) throw ConversionError("NUL in text");
        if (isLeadByte(b)) {
            if (i + 1 == bytes.size()) throw ConversionError("incomplete character");
            i += 2;
        } else if (const Extra* extra = extraForByte(b)) {
            decoder().append(bytes.substr(run, i - run), out);
            out += extra->utf8;
            run = ++i;
        } else {
            ++i;
        }
    }
    decoder().append(bytes.substr(run), out);
    return out;
}

std::string toAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t run = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b == 0) throw ConversionError("NUL in text");
        if (const Extra* extra = extraAt(utf8.substr(i))) {
            encodeRun(utf8.substr(run, i - run), out);
            out += static_cast<char>(extra->byte);
            i += extra->utf8.size();
            run = i;
        } else {
            i += utf8Length(b);  // a broken sequence is left to iconv to refuse
        }
    }
    encodeRun(utf8.substr(run), out);
    return out;
}

}  // namespace kbnset::runtime
