// Writes the table of every character of code page 932 as Windows decodes, encodes and maps
// it to upper case and half-width. The POSIX implementation is tested against this table,
// so it calls the Win32 functions directly rather than through the runtime library.
//
// Usage (under Wine with LANG=ja_JP.UTF-8, so that the ANSI code page is 932):
//   dump_cp932.exe OUTPUT.tsv
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace {

constexpr UINT kCodePage = 932;

std::string hexBytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

// Code points, not UTF-16 units: the mapping might in principle yield a surrogate pair.
std::string hexCodePoints(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto cp = static_cast<unsigned long>(text[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
            const auto low = static_cast<unsigned long>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%s%04lX", out.empty() ? "" : " ", cp);
        out += buffer;
    }
    return out;
}

std::string narrowAscii(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// The one UTF-16 character that `bytes` decodes to strictly, or 0.
wchar_t decode(std::string_view bytes) {
    wchar_t wide[4] = {};
    const int n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), wide, 4);
    return n == 1 ? wide[0] : L'\0';
}

// "-" when the character has no exact encoding (Windows would fall back to a default).
std::string encode(wchar_t c) {
    char bytes[8] = {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, &c, 1, bytes, sizeof bytes,
                                      nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return "-";
    return hexBytes(std::string_view(bytes, static_cast<std::size_t>(n)));
}

// Empty when the mapping fails. The system default locale goes by its name: Wine refuses
// LCMAP_UPPERCASE with the LOCALE_NAME_SYSTEM_DEFAULT alias, and the runtime library resolves it
// the same way.
std::wstring upperHalfwidth(const wchar_t* locale, wchar_t c) {
    wchar_t mapped[8] = {};
    const int n = LCMapStringEx(locale, LCMAP_UPPERCASE | LCMAP_HALFWIDTH, &c, 1, mapped, 8,
                                nullptr, nullptr, 0);
    if (n <= 0) return {};
    return std::wstring(mapped, static_cast<std::size_t>(n));
}

void writeLine(std::ofstream& out, const wchar_t* locale, std::string_view bytes, wchar_t c) {
    const std::wstring_view decoded(&c, 1);
    const std::wstring mapped = upperHalfwidth(locale, c);
    out << hexBytes(bytes) << '\t' << hexCodePoints(decoded) << '\t' << encode(c) << '\t'
        << (mapped.empty() ? "-" : hexCodePoints(mapped)) << '\n';
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: dump_cp932 OUTPUT.tsv\n", stderr);
        return 2;
    }
    // LCMapStringEx takes the system locale; a run outside the Japanese locale would write
    // a table that proves nothing.
    if (GetACP() != kCodePage) {
        std::fprintf(stderr, "dump_cp932: the ANSI code page is %u, not 932\n", GetACP());
        return 1;
    }
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    if (GetSystemDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH) == 0) {
        std::fputs("dump_cp932: no system default locale\n", stderr);
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    if (!out) {
        std::fputs("dump_cp932: cannot write the output file\n", stderr);
        return 1;
    }
    out << "# Code page 932 as Windows sees it: every 1-byte and 2-byte sequence that\n"
           "# MultiByteToWideChar(932, MB_ERR_INVALID_CHARS) decodes to exactly one UTF-16\n"
           "# character (NUL and lone lead bytes left out), in byte order.\n"
           "# Columns, tab-separated, hex upper case:\n"
           "#   bytes; decoded code points; WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS) of\n"
           "#   the decoded text (\"-\" when it has no exact encoding); code points of\n"
           "#   LCMapStringEx(<system default locale>, LCMAP_UPPERCASE | LCMAP_HALFWIDTH) of the\n"
           "#   decoded text (\"-\" when the mapping fails).\n"
           "# Written by tools/dump_cp932 under Wine with LANG=ja_JP.UTF-8\n"
           "# (make tables), system locale ";
    out << narrowAscii(locale) << ". Do not edit by hand.\n";
    for (unsigned first = 1; first <= 0xFF; ++first) {
        const char lead = static_cast<char>(first);
        if (!IsDBCSLeadByteEx(kCodePage, static_cast<BYTE>(first))) {
            const std::string_view bytes(&lead, 1);
            if (wchar_t c = decode(bytes)) writeLine(out, locale, bytes, c);
            continue;
        }
        for (unsigned second = 1; second <= 0xFF; ++second) {
            const char pair[2] = {lead, static_cast<char>(second)};
            const std::string_view bytes(pair, 2);
            if (wchar_t c = decode(bytes)) writeLine(out, locale, bytes, c);
        }
    }
    out.close();
    if (!out) {
        std::fputs("dump_cp932: writing the output file failed\n", stderr);
        return 1;
    }
    return 0;
}
