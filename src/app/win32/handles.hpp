#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kbnset::app {

struct GdiDelete {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDelete>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiDelete>;

}  // namespace kbnset::app
