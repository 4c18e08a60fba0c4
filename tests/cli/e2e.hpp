#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/process.hpp"
#include "support/kmt.hpp"
#include "support/temp_dir.hpp"

// What the end-to-end tests of kbnset-cli share: a data and a start folder with small files.
namespace kbnset::test {

namespace fs = std::filesystem;

inline constexpr char kCompletion[] = "備品区分機能設定が終了しました";
inline constexpr char kNoReference[] = "基準ファイルが有りません";
inline constexpr char kNoCategory[] = "備品区分ファイルが有りません";
inline constexpr char kSaveFailed[] = "備品区分ファイルの保存に失敗しました";

inline std::string text(const fs::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

// A UTF-8 file name as a path; a plain std::string would be taken in the ANSI code page on
// Windows.
inline fs::path named(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::vector<std::string> shownLines(const std::vector<std::string>& utf8) {
    std::vector<std::string> lines;
    for (const std::string& line : utf8) lines.push_back(shown(line));
    return lines;
}

inline bool hasLine(const Outcome& o, const std::string& utf8) {
    for (const std::string& line : linesOf(o.out))
        if (line == shown(utf8)) return true;
    return false;
}

inline std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(text(entry.path().filename()));
    return names;
}

// The destination: one record found in both reference files, one only in J, one only in E,
// one in neither, one classified already, one management record.
inline const std::vector<Rec> kDestination = {
    {.name = "顕微鏡", .code = "K1", .key2 = "理科", .cls = ""},
    {.name = "ミシン", .code = "K2", .key2 = "家庭", .cls = ""},
    {.name = "跳び箱", .code = "P3", .key2 = "体育", .cls = ""},
    {.name = "学校独自", .code = "4", .key2 = "校務", .cls = ""},
    {.name = "ピアノ", .code = "A5", .key2 = "音楽", .cls = "手書き"},
    {.type = "管理", .name = "理科備品", .code = "K6", .key2 = "理科", .cls = ""},
};
inline const std::vector<Rec> kElementary = {
    {.name = "顕微鏡", .code = "K1", .key2 = "理科", .cls = "E理科"},
    {.name = "跳び箱", .code = "K2", .key2 = "体育", .cls = "E体育"},
    {.name = "ピアノ", .code = "K3", .key2 = "音楽", .cls = "E楽器"},
    {.name = "理科備品", .code = "K4", .key2 = "理科", .cls = "E管理"},
};
inline const std::vector<Rec> kJuniorHigh = {
    {.name = "顕微鏡", .code = "K1", .key2 = "理科", .cls = "J理科"},
    {.name = "ミシン", .code = "K2", .key2 = "家庭", .cls = "J家庭"},
};

inline std::vector<Rec> filled(std::vector<Rec> records, const std::vector<std::string>& classes) {
    for (std::size_t i = 0; i < records.size(); ++i) records[i].cls = classes[i];
    return records;
}

// After both passes: E's classification wins where both files know the record.
inline const std::vector<std::string> kBothPasses = {"E理科", "J家庭", "E体育", "", "手書き", ""};

class CliTest : public ::testing::Test {
  protected:
    CliTest() {
        fs::create_directories(data());
        fs::create_directories(start());
    }
    fs::path data() const { return dir / "data"; }
    fs::path start() const { return dir / "start"; }
    fs::path kubun() const { return data() / "KUBUN.KMT"; }

    void putAll() {
        writeBytes(kubun(), kmt(kDestination));
        writeBytes(start() / "E_KUBUN.KMT", kmt(kElementary));
        writeBytes(start() / "J_KUBUN.KMT", kmt(kJuniorHigh));
    }

    Outcome run(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--data-dir", text(data()), "--start-dir", text(start())};
        args.insert(args.end(), extra.begin(), extra.end());
        return runCli({args, dir.path(), {}});
    }

    TempDir dir;
};

}  // namespace kbnset::test
