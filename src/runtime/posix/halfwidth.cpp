#include <algorithm>
#include <array>
#include <string>

#include "runtime/error.hpp"
#include "runtime/text.hpp"
#include "runtime/utf8.hpp"

// Upper case and half-width forms by rule, to give what Windows' LCMapStringEx gives with
// LCMAP_UPPERCASE | LCMAP_HALFWIDTH in the Japanese locale for every CP932 character.
namespace kbnset::runtime {

namespace {

constexpr char32_t kVoicedMark = 0xFF9E;      // ﾞ
constexpr char32_t kSemiVoicedMark = 0xFF9F;  // ﾟ

// Half-width forms of the katakana U+30A1 (ァ) to U+30F6 (ヶ). A voiced or semi-voiced
// letter shares the base of the letter before it. ヮ, ヰ, ヱ, ヵ and ヶ have no half-width
// form (0) and stay as they are, as on Windows.
constexpr std::array<char16_t, 0x30F7 - 0x30A1> kKatakana = {
    0xFF67, 0xFF71, 0xFF68, 0xFF72, 0xFF69, 0xFF73, 0xFF6A, 0xFF74, 0xFF6B, 0xFF75,  // ァ..オ
    0xFF76, 0xFF76, 0xFF77, 0xFF77, 0xFF78, 0xFF78, 0xFF79, 0xFF79, 0xFF7A, 0xFF7A,  // カ..ゴ
    0xFF7B, 0xFF7B, 0xFF7C, 0xFF7C, 0xFF7D, 0xFF7D, 0xFF7E, 0xFF7E, 0xFF7F, 0xFF7F,  // サ..ゾ
    0xFF80, 0xFF80, 0xFF81, 0xFF81, 0xFF6F, 0xFF82, 0xFF82, 0xFF83, 0xFF83, 0xFF84,  // タ..ト
    0xFF84, 0xFF85, 0xFF86, 0xFF87, 0xFF88, 0xFF89,                                  // ド..ノ
    0xFF8A, 0xFF8A, 0xFF8A, 0xFF8B, 0xFF8B, 0xFF8B, 0xFF8C, 0xFF8C, 0xFF8C,          // ハ..プ
    0xFF8D, 0xFF8D, 0xFF8D, 0xFF8E, 0xFF8E, 0xFF8E,                                  // ヘ..ポ
    0xFF8F, 0xFF90, 0xFF91, 0xFF92, 0xFF93,                                          // マ..モ
    0xFF6C, 0xFF94, 0xFF6D, 0xFF95, 0xFF6E, 0xFF96,                                  // ャ..ヨ
    0xFF97, 0xFF98, 0xFF99, 0xFF9A, 0xFF9B,                                          // ラ..ロ
    0,      0xFF9C, 0,      0,      0xFF66, 0xFF9D, 0xFF73, 0,      0,               // ヮ..ヶ
};
static_assert(kKatakana.size() == 86);

// The voicing mark that follows the base letter of katakana `c`, or 0.
char32_t voicingMark(char32_t c) {
    if (c == 0x30F4) return kVoicedMark;                                  // ヴ
    if (c >= 0x30AC && c <= 0x30C2) return c % 2 == 0 ? kVoicedMark : 0;  // ガ..ヂ
    if (c >= 0x30C5 && c <= 0x30C9) return c % 2 == 1 ? kVoicedMark : 0;  // ヅ..ド
    if (c >= 0x30CF && c <= 0x30DD) {                                     // ハ..ポ
        switch ((c - 0x30CF) % 3) {
            case 1:
                return kVoicedMark;
            case 2:
                return kSemiVoicedMark;
        }
    }
    return 0;
}

char32_t toUpper(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) return c - 0x20;  // à..þ, not ÷
    if (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) return c - 0x20;  // α..ω
    if (c == 0x03C2) return 0x03A3;                                  // ς
    if (c >= 0x0430 && c <= 0x044F) return c - 0x20;                 // а..я
    if (c >= 0x0450 && c <= 0x045F) return c - 0x50;                 // ѐ..џ
    if (c >= 0x2170 && c <= 0x217F) return c - 0x10;                 // ⅰ..ⅿ
    return c;
}

struct Narrow {
    char32_t wide, narrow;
};

// Characters outside the full-width ASCII and katakana ranges that have a half-width form.
constexpr Narrow kNarrow[] = {
    {0x3000, U' '},   {0x2018, U'\''},  {0x2019, U'\''},  {0x201C, U'"'},    // 　‘’“
    {0x201D, U'"'},   {0x3001, 0xFF64}, {0x3002, 0xFF61}, {0x300C, 0xFF62},  // ”、。「
    {0x300D, 0xFF63}, {0x30FB, 0xFF65}, {0x30FC, 0xFF70}, {0x309B, 0xFF9E},  // 」・ー゛
    {0x309C, 0xFF9F}, {0xFFE0, 0x00A2}, {0xFFE1, 0x00A3}, {0xFFE2, 0x00AC},  // ゜￠￡￢
    {0xFFE3, 0x00AF}, {0xFFE4, 0x00A6}, {0xFFE5, 0x00A5}, {0xFFE6, 0x20A9},  // ￣￤￥￦
    {0x2502, 0xFFE8}, {0x2190, 0xFFE9}, {0x2191, 0xFFEA}, {0x2192, 0xFFEB},  // │←↑→
    {0x2193, 0xFFEC}, {0x25A0, 0xFFED}, {0x25CB, 0xFFEE},                    // ↓■○
};

// Appends the half-width form of `c` (one or two characters).
void appendHalfwidth(char32_t c, std::u32string& out) {
    // Windows leaves ＼ alone (0x5C is the yen sign on Japanese systems).
    if (c >= 0xFF01 && c <= 0xFF5E && c != 0xFF3C) return out.push_back(c - 0xFEE0);
    if (c >= 0x30A1 && c <= 0x30F6 && kKatakana[c - 0x30A1] != 0) {
        out.push_back(kKatakana[c - 0x30A1]);
        if (char32_t mark = voicingMark(c)) out.push_back(mark);
        return;
    }
    if (c == 0x30FE) {  // ヾ: ヽ has no half-width form, only its mark has
        out.push_back(0x30FD);
        return out.push_back(kVoicedMark);
    }
    for (const Narrow& n : kNarrow)
        if (n.wide == c) return out.push_back(n.narrow);
    out.push_back(c);
}

}  // namespace

std::string toUpperHalfwidth(std::string_view utf8) {
    // Codes are mostly plain ASCII, whose only change is to capitals.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
        std::string out(utf8);
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return out;
    }
    std::string out;
    out.reserve(utf8.size());
    std::u32string narrow;
    for (std::size_t i = 0; i < utf8.size();) {
        narrow.clear();
        appendHalfwidth(utf8::next(utf8, i), narrow);
        for (char32_t c : narrow) utf8::append(toUpper(c), out);
    }
    return out;
}

}  // namespace kbnset::runtime
