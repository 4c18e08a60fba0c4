#include "runtime/system.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "runtime/error.hpp"
#include "runtime/text.hpp"
#include "support/temp_dir.hpp"

// The runtime services as the steps use them, on whichever platform the tests were built
// for: natively against the POSIX implementation, under Wine against the Win32 one.
namespace kbnset::runtime {
namespace {

namespace fs = std::filesystem;
using test::cp932;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

std::string utf8(const fs::path& path) {
    auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path pathOf(std::string_view utf8Name) {
    return fs::path(std::u8string(utf8Name.begin(), utf8Name.end()));
}

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(utf8(entry.path().filename()));
    return names;
}

std::string readAll(System& system, std::string_view name) {
    auto file = system.openRead(name);
    std::string content;
    char chunk[1000];
    while (std::size_t n = file->read(chunk, sizeof chunk)) content.append(chunk, n);
    return content;
}

// The save's sequence: a temporary file beside the target, written, committed, moved over.
std::string save(System& system, const std::string& target,
                 const std::vector<std::string>& pieces) {
    auto file = system.createTemporary(target);
    std::string temporary = file->name();
    for (const std::string& piece : pieces) file->write(piece);
    file->commit();
    system.replace(temporary, target);
    return temporary;
}

TEST(NativeSystem, CurrentDirectoryRoundTrip) {
    TempDir dir;
    System& system = nativeSystem();
    std::string before = system.currentDirectory();
    EXPECT_TRUE(pathOf(before).is_absolute()) << before;

    system.changeDirectory(dir.str());
    EXPECT_TRUE(fs::equivalent(pathOf(system.currentDirectory()), dir.path()));
    system.changeDrive("");
    system.changeDrive(dir.str());  // the drive that is current already
    EXPECT_TRUE(fs::equivalent(pathOf(system.currentDirectory()), dir.path()));

    system.changeDirectory(before);
    EXPECT_EQ(system.currentDirectory(), before);
}

TEST(NativeSystem, ChangeDirectoryRefusesMissingDirectories) {
    TempDir dir;
    writeBytes(dir / "file", "x");
    System& system = nativeSystem();
    system.changeDirectory(dir.str());
    for (std::string name :
         {std::string(), utf8(dir / "missing"), utf8(dir / "file"), std::string("missing")}) {
        EXPECT_THROW(system.changeDirectory(name), IoError) << '"' << name << '"';
        EXPECT_TRUE(fs::equivalent(pathOf(system.currentDirectory()), dir.path()));
    }
}

TEST(NativeSystem, OrdinaryFileLookup) {
    TempDir dir;
    writeBytes(dir / "KUBUN.KMT", "x");
    fs::create_directory(dir / "E_KUBUN.KMT");
    System& system = nativeSystem();
    system.changeDirectory(dir.str());
    struct Case {
        std::string name;
        bool expected;
    };
    const Case cases[] = {
        {utf8(dir / "KUBUN.KMT"), true}, {"KUBUN.KMT", true},    {utf8(dir / "E_KUBUN.KMT"), false},
        {"E_KUBUN.KMT", false},          {"J_KUBUN.KMT", false}, {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(system.isOrdinaryFile(c.name), c.expected) << c.name;
}

TEST(NativeSystem, OpenReadGivesTheBytesUnchanged) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>(i * 7 % 256);  // CR, LF, NUL and all
    writeBytes(dir / "data", bytes);
    System& system = nativeSystem();
    EXPECT_EQ(readAll(system, utf8(dir / "data")), bytes);
    EXPECT_THROW(system.openRead(utf8(dir / "missing")), IoError);
}

TEST(NativeSystem, SavedFileHoldsExactlyTheWrittenBytes) {
    struct Case {
        const char* label;
        bool existed;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"new file", false, {"1,2,0,\"\",\"\",\"\"\r\n"}},
        {"over an old file", true, {"\"A\",", "\"B\"\r\n"}},
        {"empty", true, {}},
        {"pieces around the buffer size",
         true,
         {std::string(100, 'a'), std::string(70000, 'b'), "c", std::string(65536, 'd'),
          std::string(65535, 'e'), "f"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string target = utf8(dir / "KUBUN.KMT");
        if (c.existed) writeBytes(target, std::string(200000, 'o'));
        std::string expected;
        for (const std::string& piece : c.pieces) expected += piece;

        std::string temporary = save(nativeSystem(), target, c.pieces);
        EXPECT_TRUE(fs::equivalent(pathOf(temporary).parent_path(), dir.path())) << c.label;
        EXPECT_TRUE(readBytes(target) == expected) << c.label;
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"}) << c.label;
    }
}

TEST(NativeSystem, ReadOnlyTargetIsNeverReplaced) {
    TempDir dir;
    std::string target = utf8(dir / "KUBUN.KMT");
    writeBytes(target, "old\r\n");
    fs::permissions(target,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    System& system = nativeSystem();
    auto file = system.createTemporary(target);
    file->write("new\r\n");
    file->commit();
    EXPECT_THROW(system.replace(file->name(), target), IoError);
    EXPECT_EQ(readBytes(target), "old\r\n");
    system.removeFile(file->name());
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"});
}

TEST(NativeSystem, RemoveFileRemovesAndIgnoresMissingFiles) {
    TempDir dir;
    writeBytes(dir / "a", "x");
    writeBytes(dir / "b", "x");
    System& system = nativeSystem();
    system.removeFile(utf8(dir / "a"));
    system.removeFile(utf8(dir / "a"));
    system.removeFile(utf8(dir / "missing"));
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"b"});
}

TEST(NativeSystem, JapaneseFileAndDirectoryNames) {
    TempDir dir;
    fs::create_directory(dir / "備品データ");
    System& system = nativeSystem();
    system.changeDirectory(utf8(dir / "備品データ"));
    std::string bytes = cp932("\"備品\",1\r\n");
    save(system, "区分ファイル.KMT", {bytes});
    EXPECT_TRUE(system.isOrdinaryFile("区分ファイル.KMT"));
    EXPECT_EQ(readAll(system, "区分ファイル.KMT"), bytes);
    EXPECT_EQ(readBytes(dir / "備品データ/区分ファイル.KMT"), bytes);
}

TEST(AnsiText, JapaneseTextBothWays) {
    for (std::string_view text :
         {"備品区分ファイル", "ｶﾞｯｺｳ ﾋﾞﾋﾝ", "ABC,123 \\~", "①Ⅰ㈱≒∵", "髙﨑ⅰ", ""}) {
        std::string bytes = cp932(text);
        EXPECT_EQ(fromAnsi(bytes), text);
        EXPECT_EQ(toAnsi(text), bytes) << text;
    }
}

TEST(AnsiText, BytesAndCharactersOutsideTheCodePageAreRefused) {
    using namespace std::string_literals;
    for (std::string bytes :
         {"\x81"s, "AB\x9F"s, "\x85\x40"s, "\x81\x7F"s, "\xA0"s, "\xFD"s, "A\0B"s})
        EXPECT_THROW(fromAnsi(bytes), ConversionError) << bytes;
    // Hangul, the euro, and the yen sign that a best-fit mapping would make a backslash.
    for (std::string text : {"한국"s, "€"s, "¥"s, "\xFF"s, "\xE5\x82"s})
        EXPECT_THROW(toAnsi(text), ConversionError) << text;
}

TEST(AnsiText, UpperCaseHalfWidthOfWholeCodes) {
    struct Case {
        std::string_view text, expected;
    };
    const Case cases[] = {
        {"ｋ１２ａ", "K12A"},         {"ガッコウ　ﾋﾞﾋﾝ", "ｶﾞｯｺｳ ﾋﾞﾋﾝ"},
        {"パソコン・ヴ", "ﾊﾟｿｺﾝ･ｳﾞ"}, {"がっこう備品𠮷", "がっこう備品𠮷"},
        {"αβ-ab", "ΑΒ-AB"},           {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(toUpperHalfwidth(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace kbnset::runtime
