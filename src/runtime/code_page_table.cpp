#include "runtime/code_page_table.hpp"

#include <atomic>
#include <cstdint>

#include "runtime/error.hpp"
#include "runtime/utf8.hpp"

namespace kbnset::runtime {

namespace {

// An entry is 0 until the platform has been asked, then kRefused, kLead (a single byte that
// begins a pair) or kKnown with the answer. Zero-initialised static storage: nothing to build
// at start, and relaxed atomics let any thread fill an entry (every thread would write the
// same answer).
constexpr std::uint32_t kRefused = 1;
constexpr std::uint32_t kLead = 2;
constexpr std::uint32_t kKnown = 1u << 24;

// Decoding: bytes 0..255 alone, then 256 + (lead << 8 | trail) for pairs.
std::atomic<std::uint32_t> decoded[256 + 65536];
// Encoding, by BMP character: the byte count in bits 24..25, the bytes below.
std::atomic<std::uint32_t> encoded[65536];

// The platform is asked only on a miss; the look-up itself stays small enough to inline.
std::uint32_t fillDecoded(const CodePageConverter& platform, std::size_t index,
                          std::string_view bytes) {
    std::uint32_t v = kRefused;
    if (index < 256 && platform.isLeadByte(static_cast<unsigned char>(index))) {
        v = kLead;
    } else {
        std::optional<char32_t> c = platform.decode(bytes);
        // NUL is never text, whatever the platform makes of it.
        if (c && *c != 0) v = kKnown | *c;
    }
    decoded[index].store(v, std::memory_order_relaxed);
    return v;
}

inline std::uint32_t decodedEntry(const CodePageConverter& platform, std::size_t index,
                                  std::string_view bytes) {
    const std::uint32_t v = decoded[index].load(std::memory_order_relaxed);
    return v != 0 ? v : fillDecoded(platform, index, bytes);
}

std::uint32_t fillEncoded(const CodePageConverter& platform, char32_t c) {
    std::uint32_t v = kRefused;
    std::optional<std::string> bytes = c == 0 ? std::nullopt : platform.encode(c);
    if (bytes && !bytes->empty() && bytes->size() <= 2) {
        std::uint32_t packed = 0;
        for (char b : *bytes) packed = packed << 8 | static_cast<unsigned char>(b);
        v = static_cast<std::uint32_t>(bytes->size()) << 24 | packed;
    }
    encoded[c].store(v, std::memory_order_relaxed);
    return v;
}

inline std::uint32_t encodedEntry(const CodePageConverter& platform, char32_t c) {
    const std::uint32_t v = encoded[c].load(std::memory_order_relaxed);
    return v != 0 ? v : fillEncoded(platform, c);
}

}  // namespace

// Both write into room made beforehand (at most four UTF-8 bytes a byte, two bytes a
// character) and cut `out` to size at the end.
void decodeWithTable(const CodePageConverter& platform, std::string_view bytes, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + 4 * bytes.size());
    char* p = out.data() + start;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        std::uint32_t v = decodedEntry(platform, b, bytes.substr(i, 1));
        if (v == kLead) {
            if (i + 1 == bytes.size()) throw ConversionError("incomplete character");
            const auto t = static_cast<unsigned char>(bytes[i + 1]);
            v = decodedEntry(platform, 256 + (std::size_t{b} << 8 | t), bytes.substr(i, 2));
            i += 2;
        } else {
            i += 1;
        }
        if (v == kRefused) throw ConversionError("bytes not valid in the ANSI code page");
        p = utf8::write(static_cast<char32_t>(v & 0xFFFFFF), p);
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

void encodeWithTable(const CodePageConverter& platform, std::string_view text, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + 2 * text.size());
    char* p = out.data() + start;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = utf8::next(text, i);
        const std::uint32_t v = c < 0x10000 ? encodedEntry(platform, c) : kRefused;
        if (v == kRefused) throw ConversionError("character not in the ANSI code page");
        if (v >> 24 == 2) *p++ = static_cast<char>(v >> 8);
        *p++ = static_cast<char>(v);
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

}  // namespace kbnset::runtime
