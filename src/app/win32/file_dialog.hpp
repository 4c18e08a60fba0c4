#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kbnset::app {

// The common file-open dialog, driven by the window's four operations: starting location,
// filter, show, chosen name.
class OpenFileDialog {
  public:
    // A starting location that names a file opens the dialog in that file's folder with its
    // name filled in; one that names a folder opens in it.
    void setStart(std::string_view location);
    // description|pattern|description|pattern; the first entry is selected.
    void setFilter(std::string_view filter);
    // Modal to `owner`. A cancel, or a dialog that cannot open, leaves no name.
    void show(HWND owner);
    const std::string& fileName() const { return fileName_; }

  private:
    std::wstring folder_;
    std::wstring file_;
    std::wstring filter_;
    std::string fileName_;
};

}  // namespace kbnset::app
