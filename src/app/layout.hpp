#pragma once

#include <array>
#include <cstddef>

#include "app/view.hpp"

// The main window as laid out, in twips (1440 to the inch; 15 to a pixel at 96 DPI).
namespace kbnset::app {

inline constexpr char kTitle[] = "備品区分機能設定";

inline constexpr int kClientWidth = 7035;
inline constexpr int kCompactHeight = 1910;   // outer height at load
inline constexpr int kExpandedHeight = 2800;  // outer height once the source row is shown

inline constexpr char kFontFace[] = "ＭＳ Ｐ明朝";
inline constexpr int kFontCharset = 128;
inline constexpr int kFontWeight = 400;
// Point sizes in hundredths, so that 11.25 stays exact.
inline constexpr int kSmallFontCentipoints = 900;
inline constexpr int kLargeFontCentipoints = 1125;

// The path labels' pale yellow, as red, green, blue.
inline constexpr std::array<unsigned char, 3> kPathBackground{255, 255, 128};

enum class Kind { Label, Button };

struct ControlLayout {
    Control control;
    Kind kind;
    const char* caption;
    int left, top, width, height;
    bool visible;    // when the window is first shown
    int tab;         // tab order
    bool largeFont;  // 11.25 point instead of the window's 9 point
    bool pathLabel;  // the pale yellow background of F_NAME
};

// In rows from top to bottom.
inline constexpr std::array<ControlLayout, 11> kLayout{{
    {Control::Label3, Kind::Label, "", 240, 240, 3495, 255, true, 5, true, false},
    {Control::B_START, Kind::Button, "開始", 4200, 240, 855, 375, true, 0, false, false},
    {Control::B_STOP, Kind::Button, "中止", 5280, 240, 735, 375, true, 4, false, false},
    {Control::B_END, Kind::Button, "閉じる", 6240, 240, 735, 375, true, 1, false, false},
    {Control::Label2, Kind::Label, "変換先", 120, 840, 615, 255, true, 3, false, false},
    {Control::F_NAME0, Kind::Label, "", 840, 840, 5295, 375, true, 2, true, true},
    {Control::B_SET0, Kind::Button, "参照", 6240, 840, 615, 300, true, 7, false, false},
    {Control::Label1, Kind::Label, "変換元", 120, 1320, 615, 255, false, 8, false, false},
    {Control::F_NAME1, Kind::Label, "", 840, 1320, 5295, 375, false, 6, true, true},
    {Control::B_SET1, Kind::Button, "参照", 6240, 1320, 615, 300, false, 9, false, false},
    {Control::B_CHG, Kind::Button, "交換", 6240, 1800, 615, 255, true, 10, false, false},
}};

// Row i lays out control i, so the table indexes the window's controls by their enum.
inline constexpr bool layoutFollowsControls() {
    for (std::size_t i = 0; i < kLayout.size(); ++i)
        if (static_cast<std::size_t>(kLayout[i].control) != i) return false;
    return true;
}
static_assert(layoutFollowsControls(), "kLayout must list the controls in enum order");

}  // namespace kbnset::app
