#include "app/win32/fonts.hpp"

#include <cwchar>

#include "app/layout.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::app {

namespace {

int CALLBACK onFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;  // one is enough
}

bool installed(HDC dc, const std::wstring& face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = static_cast<BYTE>(kFontCharset);
    wcsncpy(wanted.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(dc, &wanted, onFamily, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

}  // namespace

std::wstring minchoFace(HDC dc) {
    std::wstring preferred = runtime::widen(kFontFace);
    // Older and newer Windows, then the faces that Linux distributions ship.
    const wchar_t* const fallbacks[] = {L"MS PMincho",  L"ＭＳ 明朝", L"MS Mincho",
                                        L"游明朝",      L"Yu Mincho", L"IPAPMincho",
                                        L"IPAexMincho", L"IPAMincho", L"Noto Serif CJK JP"};
    if (installed(dc, preferred)) return preferred;
    for (const wchar_t* face : fallbacks)
        if (installed(dc, face)) return face;
    return preferred;
}

UniqueFont createFont(const std::wstring& face, int centipoints, UINT dpi) {
    LOGFONTW font{};
    // Negative: the character height, as point sizes are meant.
    font.lfHeight = -MulDiv(centipoints, static_cast<int>(dpi), 7200);
    font.lfWeight = kFontWeight;
    font.lfCharSet = static_cast<BYTE>(kFontCharset);
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_ROMAN;
    wcsncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return UniqueFont(CreateFontIndirectW(&font));
}

}  // namespace kbnset::app
