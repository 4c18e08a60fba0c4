#pragma once

#include <string>

#include "app/win32/handles.hpp"

namespace kbnset::app {

// The face to use for "ＭＳ Ｐ明朝": that face when it is installed, else the first installed
// Japanese Mincho face of a short list, else the name itself (GDI then picks what it maps).
std::wstring minchoFace(HDC dc);

// A Japanese font of `centipoints` hundredths of a point at `dpi`, normal weight.
UniqueFont createFont(const std::wstring& face, int centipoints, UINT dpi);

}  // namespace kbnset::app
