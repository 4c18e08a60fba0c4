#include "app/win32/file_dialog.hpp"

#include <cderr.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "runtime/win32/wide.hpp"

namespace kbnset::app {

namespace {

bool isFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void OpenFileDialog::setStart(std::string_view location) {
    std::wstring path = runtime::widen(location);
    if (isFolder(path)) {
        folder_ = path;
        file_.clear();
        return;
    }
    auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        folder_.clear();
        file_ = path;
    } else {
        // "\KUBUN.KMT" alone (no data directory) keeps the dialog's own default folder.
        folder_ = path.substr(0, slash);
        file_ = path.substr(slash + 1);
    }
}

void OpenFileDialog::setFilter(std::string_view filter) {
    filter_ = runtime::widen(filter);
    for (wchar_t& c : filter_)
        if (c == L'|') c = L'\0';
    filter_.push_back(L'\0');  // the list ends with two NULs; c_str() adds the second
}

void OpenFileDialog::show(HWND owner) {
    fileName_.clear();
    std::vector<wchar_t> buffer(32768, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        // A second attempt without the name: the dialog refuses to open on a name it finds
        // invalid.
        std::fill(buffer.begin(), buffer.end(), L'\0');
        if (attempt == 0) file_.copy(buffer.data(), std::min(file_.size(), buffer.size() - 1));

        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = owner;
        dialog.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = buffer.data();
        dialog.nMaxFile = static_cast<DWORD>(buffer.size());
        dialog.lpstrInitialDir = folder_.empty() ? nullptr : folder_.c_str();
        // The current directory is the file steps' business, not the dialog's.
        dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                       OFN_NOCHANGEDIR | OFN_DONTADDTORECENT;
        if (GetOpenFileNameW(&dialog)) {
            fileName_ = runtime::narrow(buffer.data());
            return;
        }
        if (CommDlgExtendedError() != FNERR_INVALIDFILENAME) return;
    }
}

}  // namespace kbnset::app
