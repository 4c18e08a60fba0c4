// The Win32 system services on real files, directories and registry keys.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "runtime/error.hpp"
#include "runtime/system.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::runtime {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    const auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

fs::path fromUtf8(std::string_view name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

DWORD attributesOf(const fs::path& path) {
    return GetFileAttributesW(path.c_str());
}

// The attributes a user can set in Explorer; Windows adds others (e.g. NOT_CONTENT_INDEXED).
constexpr DWORD kUserAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::set<std::string> filesIn(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(utf8(entry.path().filename()));
    return names;
}

// A committed temporary file beside `target`, holding `bytes`.
std::string committedTemporary(System& system, const fs::path& target, std::string_view bytes) {
    auto file = system.createTemporary(utf8(target));
    file->write(bytes);
    file->commit();
    return file->name();
}

TEST(Win32FileLookUp, CountsOrdinaryFilesOnly) {
    struct Case {
        const char* name;
        DWORD attributes;
        bool directory;
        bool expected;
    };
    const Case cases[] = {
        {"plain.KMT", FILE_ATTRIBUTE_NORMAL, false, true},
        {"archive.KMT", FILE_ATTRIBUTE_ARCHIVE, false, true},
        {"readonly.KMT", FILE_ATTRIBUTE_READONLY, false, true},
        {"備品区分.KMT", FILE_ATTRIBUTE_NORMAL, false, true},
        {"hidden.KMT", FILE_ATTRIBUTE_HIDDEN, false, false},
        {"system.KMT", FILE_ATTRIBUTE_SYSTEM, false, false},
        {"hidden-system.KMT", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, false, false},
        {"folder.KMT", FILE_ATTRIBUTE_NORMAL, true, false},
    };
    test::TempDir dir;
    System& system = nativeSystem();
    for (const Case& c : cases) {
        const fs::path path = dir / c.name;
        if (c.directory)
            fs::create_directory(path);
        else
            test::writeBytes(path, "x");
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), c.attributes)) << c.name;
    }
    system.changeDirectory(dir.str());
    for (const Case& c : cases) {
        EXPECT_EQ(system.isOrdinaryFile(utf8(dir / c.name)), c.expected) << "full path " << c.name;
        EXPECT_EQ(system.isOrdinaryFile(c.name), c.expected) << "bare name " << c.name;
    }
    EXPECT_FALSE(system.isOrdinaryFile("missing.KMT"));
    EXPECT_FALSE(system.isOrdinaryFile(""));
}

TEST(Win32Directories, ChangeDirectoryAndReadItBack) {
    test::TempDir dir;
    fs::create_directory(dir / "データ");
    System& system = nativeSystem();
    const std::string japanese = utf8(dir / "データ");

    system.changeDirectory(japanese);
    EXPECT_EQ(system.currentDirectory(), japanese);

    struct Case {
        std::string path;
        const char* what;
    };
    const Case failures[] = {
        {"", "empty text"},
        {utf8(dir / "missing"), "missing directory"},
        {utf8((dir / "データ") / "none"), "missing directory below a Japanese one"},
    };
    for (const Case& c : failures) {
        EXPECT_THROW(system.changeDirectory(c.path), IoError) << c.what;
        EXPECT_EQ(system.currentDirectory(), japanese) << c.what << " moved the directory";
    }
}

// A letter with no drive behind it, or 0 when every letter is taken.
char unusedDriveLetter() {
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'Y'; letter >= 'D'; --letter)
        if (!(drives & (1u << (letter - 'A')))) return letter;
    return 0;
}

TEST(Win32Directories, ChangeDriveGoesByTheFirstCharacter) {
    test::TempDir dir;
    System& system = nativeSystem();
    system.changeDirectory(dir.str());
    const std::string start = system.currentDirectory();

    system.changeDrive("");
    EXPECT_EQ(system.currentDirectory(), start) << "empty text changes nothing";

    // Only the first character counts: the rest need not exist, and case does not matter.
    const char own = static_cast<char>(std::tolower(static_cast<unsigned char>(start[0])));
    system.changeDrive(std::string(1, own) + ":\\no\\such\\directory");
    EXPECT_EQ(std::toupper(static_cast<unsigned char>(system.currentDirectory()[0])),
              std::toupper(static_cast<unsigned char>(start[0])));

    const char missing = unusedDriveLetter();
    ASSERT_NE(missing, 0) << "every drive letter is in use";
    const std::string refused[] = {
        std::string(1, missing) + ":\\DATA",
        "1:\\DATA",
        "\\\\server\\share",
        "データ",
    };
    for (const std::string& path : refused) {
        system.changeDirectory(dir.str());
        EXPECT_THROW(system.changeDrive(path), IoError) << path;
        EXPECT_EQ(system.currentDirectory(), start) << path;
    }
}

TEST(Win32Files, JapaneseNamesRoundTrip) {
    test::TempDir dir;
    fs::create_directory(dir / "データ");
    const fs::path target = (dir / "データ") / fromUtf8("備品区分.KMT");
    const std::string bytes = test::cp932("\"備品\",\"理科\"\r\n");
    System& system = nativeSystem();

    system.replace(committedTemporary(system, target, bytes), utf8(target));

    EXPECT_EQ(filesIn(dir / "データ"), std::set<std::string>{"備品区分.KMT"});
    system.changeDirectory(utf8(dir / "データ"));
    EXPECT_TRUE(system.isOrdinaryFile("備品区分.KMT"));
    auto in = system.openRead("備品区分.KMT");
    std::string read(bytes.size() + 16, '\0');
    read.resize(in->read(read.data(), read.size()));
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(in->read(read.data(), read.size()), 0u);
}

TEST(Win32Replace, ReadOnlyTargetIsRefusedAndLeftAsItWas) {
    test::TempDir dir;
    const fs::path target = dir / "KUBUN.KMT";
    test::writeBytes(target, "old contents\r\n");
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD before = attributesOf(target);
    System& system = nativeSystem();
    const std::string temporary = committedTemporary(system, target, "new\r\n");

    EXPECT_THROW(system.replace(temporary, utf8(target)), IoError);
    EXPECT_EQ(test::readBytes(target), "old contents\r\n");
    EXPECT_EQ(attributesOf(target), before);
    EXPECT_EQ(test::readBytes(fromUtf8(temporary)), "new\r\n") << "the caller removes it";
}

TEST(Win32Replace, TargetHeldOpenByAnotherProgramIsLeftAsItWas) {
    test::TempDir dir;
    const fs::path target = dir / "KUBUN.KMT";
    test::writeBytes(target, "old contents\r\n");
    System& system = nativeSystem();
    const std::string temporary = committedTemporary(system, target, "new\r\n");
    // Another program reading the file without letting it be deleted or renamed.
    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    EXPECT_THROW(system.replace(temporary, utf8(target)), IoError);
    CloseHandle(held);
    EXPECT_EQ(test::readBytes(target), "old contents\r\n");
    system.removeFile(temporary);
    EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"});
}

TEST(Win32Replace, NewContentsKeepTheTargetsAttributes) {
    const DWORD cases[] = {
        FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_ARCHIVE,
        FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE,
        FILE_ATTRIBUTE_SYSTEM,
    };
    for (DWORD attributes : cases) {
        test::TempDir dir;
        const fs::path target = dir / "KUBUN.KMT";
        test::writeBytes(target, "old contents\r\n");
        ASSERT_TRUE(SetFileAttributesW(target.c_str(), attributes));
        const DWORD before = attributesOf(target) & kUserAttributes;
        System& system = nativeSystem();

        system.replace(committedTemporary(system, target, "new\r\n"), utf8(target));

        EXPECT_EQ(test::readBytes(target), "new\r\n") << attributes;
        EXPECT_EQ(attributesOf(target) & kUserAttributes, before) << attributes;
        // Neither the temporary file nor a backup is left behind.
        EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"}) << attributes;
    }
}

TEST(Win32Replace, MissingTargetIsCreated) {
    test::TempDir dir;
    System& system = nativeSystem();
    system.changeDirectory(dir.str());

    // Bare names, as the save uses them after its directory switch.
    system.replace(committedTemporary(system, "KUBUN.KMT", "new\r\n"), "KUBUN.KMT");

    EXPECT_EQ(test::readBytes(dir / "KUBUN.KMT"), "new\r\n");
    EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"});
}

TEST(Win32TemporaryFile, WritesEveryByteWhateverTheSize) {
    // Around the 64 KiB buffer: nothing may be lost or doubled at its edges.
    const std::size_t sizes[] = {0, 1, 65535, 65536, 65537, 200000};
    for (std::size_t size : sizes) {
        test::TempDir dir;
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('A' + i % 23);
        System& system = nativeSystem();
        auto file = system.createTemporary(utf8(dir / "KUBUN.KMT"));
        // Pieces of uneven length, as the writer sends a line at a time.
        for (std::size_t at = 0, piece = 1; at < size; at += piece, piece = piece * 7 % 4093 + 1)
            file->write(std::string_view(bytes).substr(at, piece));
        file->commit();
        EXPECT_EQ(test::readBytes(fromUtf8(file->name())), bytes) << size;
    }
}

TEST(Win32TemporaryFile, DroppedWithoutCommitIsClosedSoItCanBeRemoved) {
    test::TempDir dir;
    System& system = nativeSystem();
    auto file = system.createTemporary(utf8(dir / "KUBUN.KMT"));
    file->write("part of a table");
    const std::string name = file->name();
    file.reset();

    system.removeFile(name);
    EXPECT_FALSE(fs::exists(fromUtf8(name)));
}

// Values stored as the suite's VB programs store them, under a name no real program uses.
class Win32Settings : public testing::Test {
  protected:
    static constexpr wchar_t kRoot[] = L"Software\\VB and VBA Program Settings\\kbnset-test";

    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }

    static void store(const wchar_t* section, const wchar_t* key, DWORD type, const void* data,
                      DWORD size) {
        const std::wstring path = std::wstring(kRoot) + L"\\" + section;
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        const LSTATUS status =
            RegSetValueExW(handle, key, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(handle);
        ASSERT_EQ(status, ERROR_SUCCESS);
    }

    static void storeText(const wchar_t* section, const wchar_t* key, const std::wstring& text) {
        store(section, key, REG_SZ, text.c_str(),
              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
};

TEST_F(Win32Settings, ReadsStoredTextOrGivesTheFallback) {
    const std::wstring longPath = L"D:\\" + std::wstring(300, L'x');
    storeText(L"SCHOOL", L"DIR_ME", L"C:\\ZORVEL\\データ");
    storeText(L"SCHOOL", L"EMPTY", L"");
    storeText(L"SCHOOL", L"LONG", longPath);
    const DWORD number = 7;
    store(L"SCHOOL", L"NUMBER", REG_DWORD, &number, sizeof number);

    struct Case {
        const char* application;
        const char* section;
        const char* key;
        std::string expected;
    };
    const Case cases[] = {
        {"kbnset-test", "SCHOOL", "DIR_ME", "C:\\ZORVEL\\データ"},
        {"kbnset-test", "SCHOOL", "EMPTY", ""},
        {"kbnset-test", "SCHOOL", "LONG", "D:\\" + std::string(300, 'x')},
        {"kbnset-test", "SCHOOL", "NUMBER", "fallback"},
        {"kbnset-test", "SCHOOL", "MISSING", "fallback"},
        {"kbnset-test", "OTHER", "DIR_ME", "fallback"},
        {"kbnset-test-missing", "SCHOOL", "DIR_ME", "fallback"},
    };
    System& system = nativeSystem();
    for (const Case& c : cases)
        EXPECT_EQ(system.readSetting(c.application, c.section, c.key, "fallback"), c.expected)
            << c.application << " / " << c.section << " / " << c.key;
}

}  // namespace
}  // namespace kbnset::runtime

#endif  // _WIN32
