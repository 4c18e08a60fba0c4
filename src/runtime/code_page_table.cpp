#include "runtime/code_page_table.hpp"

#include <atomic>
#include <cstdint>

#include "runtime/error.hpp"
#include "runtime/utf8.hpp"

namespace kbnset::runtime {

namespace {

// An entry is 0 until the platform has been asked, then kRefused, kLead (a single byte that
// begins a pair) or the answer. Zero-initialised static storage: nothing to build at start,
// and relaxed atomics let any thread fill an entry (every thread would write the same answer).
constexpr std::uint32_t kRefused = 1;
constexpr std::uint32_t kLead = 2;

// Decoding: bytes 0..255 alone, then 256 + (lead << 8 | trail) for pairs. A known entry holds
// the character's UTF-8 bytes, first byte lowest, with their count (1 to 3) in bits 24..26,
// so that decoding copies bytes instead of encoding UTF-8 again; a character beyond the BMP
// (no double-byte code page has one, but the platform decides) is kept as kWide | c.
constexpr std::uint32_t kWide = 4u << 24;
std::atomic<std::uint32_t> decoded[256 + 65536];
// Encoding, by BMP character: the byte count in bits 24..25, the bytes below.
std::atomic<std::uint32_t> encoded[65536];

std::uint32_t packedUtf8(char32_t c) {
    if (c > 0xFFFF) return kWide | c;
    char bytes[4]{};
    const char* end = utf8::write(c, bytes);
    std::uint32_t v = static_cast<std::uint32_t>(end - bytes) << 24;
    for (int k = 0; bytes + k < end; ++k)
        v |= std::uint32_t{static_cast<unsigned char>(bytes[k])} << (8 * k);
    return v;
}

// The platform is asked only on a miss, out of line.
[[gnu::noinline]] std::uint32_t fillDecoded(const CodePageConverter& platform, std::size_t index,
                                            std::string_view bytes) {
    std::uint32_t v = kRefused;
    if (index < 256 && platform.isLeadByte(static_cast<unsigned char>(index))) {
        v = kLead;
    } else {
        std::optional<char32_t> c = platform.decode(bytes);
        // NUL is never text, whatever the platform makes of it.
        if (c && *c != 0) v = packedUtf8(*c);
    }
    decoded[index].store(v, std::memory_order_relaxed);
    return v;
}

[[gnu::noinline]] std::uint32_t fillEncoded(const CodePageConverter& platform, char32_t c) {
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

char* decodeWithTable(const CodePageConverter& platform, std::string_view bytes, char* out) {
    char* p = out;
    const char* const data = bytes.data();
    const std::size_t size = bytes.size();
    for (std::size_t i = 0; i < size;) {
        const auto b = static_cast<unsigned char>(data[i]);
        std::uint32_t v = decoded[b].load(std::memory_order_relaxed);
        if (v == 0) v = fillDecoded(platform, b, {data + i, 1});
        if (v == kLead) {
            if (i + 1 == size) throw ConversionError("incomplete character");
            const std::size_t pair =
                256 + (std::size_t{b} << 8 | static_cast<unsigned char>(data[i + 1]));
            v = decoded[pair].load(std::memory_order_relaxed);
            if (v == 0) v = fillDecoded(platform, pair, {data + i, 2});
            i += 2;
        } else {
            i += 1;
        }
        if (v == kRefused) throw ConversionError("bytes not valid in the ANSI code page");
        // Three bytes written whatever the length: room for them is there (four a byte).
        if (v < kWide) {
            p[0] = static_cast<char>(v);
            p[1] = static_cast<char>(v >> 8);
            p[2] = static_cast<char>(v >> 16);
            p += v >> 24;
        } else {
            p = utf8::write(static_cast<char32_t>(v & 0xFFFFFF), p);
        }
    }
    return p;
}

char* encodeWithTable(const CodePageConverter& platform, std::string_view text, char* out) {
    char* p = out;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = utf8::next(text, i);
        const std::uint32_t v = c < 0x10000 ? encodedEntry(platform, c) : kRefused;
        if (v == kRefused) throw ConversionError("character not in the ANSI code page");
        if (v >> 24 == 2) *p++ = static_cast<char>(v >> 8);
        *p++ = static_cast<char>(v);
    }
    return p;
}

}  // namespace kbnset::runtime
