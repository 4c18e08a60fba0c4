#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "runtime/paths.hpp"

// Texts that several tables of tests build alike.
namespace kbnset::test {

// Each token in `text` replaced by its folder's path, tried in the order given (so "$D/" can
// come before "$D").
inline std::string expandTokens(
    std::string text, const std::vector<std::pair<std::string, std::filesystem::path>>& tokens) {
    for (const auto& [token, path] : tokens) {
        const std::string value = runtime::utf8Of(path);
        for (auto at = text.find(token); at != std::string::npos;
             at = text.find(token, at + value.size()))
            text.replace(at, token.size(), value);
    }
    return text;
}

// ZORVEL.SEW's line as UTF-8 text: five items, then `rest` (items 6 on, as written there).
inline std::string sew(const std::string& rest) {
    return "\"一\",\"二\",\"三\",\"四\",\"五\"," + rest + "\r\n";
}

}  // namespace kbnset::test
