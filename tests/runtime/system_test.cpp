#include "runtime/system.hpp"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "runtime/error.hpp"
#include "runtime/paths.hpp"
#include "support/temp_dir.hpp"

// The runtime services as the steps use them, on whichever platform the tests were built
// for: natively against the POSIX implementation, under Wine against the Win32 one. What
// only one platform has is at the end.
namespace kbnset::runtime {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::pathOf;
using test::readBytes;
using test::TempDir;
using test::utf8Of;
using test::writeBytes;

// The first half of the save: a temporary file beside `target`, written and committed.
std::string committedTemporary(System& system, std::string_view target, std::string_view bytes) {
    auto file = system.createTemporary(target);
    file->write(bytes);
    file->commit();
    return file->name();
}

// The loads switch to the data directory and then look files up by bare names.
TEST(NativeSystem, DirectorySwitchAndOrdinaryFileLookup) {
    TempDir dir;
    const fs::path folder = dir / "備品データ";
    fs::create_directories(folder / "E_KUBUN.KMT");
    writeBytes(folder / "KUBUN.KMT", "x");
    writeBytes(dir / "備品データ/備品区分.KMT", "x");
    System& system = nativeSystem();
    const std::string before = system.currentDirectory();

    system.changeDirectory(utf8Of(folder));
    EXPECT_EQ(system.currentDirectory(), utf8Of(folder));
    system.changeDrive("");
    system.changeDrive(utf8Of(folder));  // the drive that is current already
    EXPECT_EQ(system.currentDirectory(), utf8Of(folder));
    for (const std::string& name :
         {std::string(), utf8Of(dir / "missing"), std::string("KUBUN.KMT"), std::string("missing"),
          utf8Of(folder / "none")}) {
        EXPECT_THROW(system.changeDirectory(name), IoError) << '"' << name << '"';
        EXPECT_EQ(system.currentDirectory(), utf8Of(folder)) << name;
    }

    for (const std::string& name :
         {utf8Of(folder / "KUBUN.KMT"), std::string("KUBUN.KMT"), std::string("備品区分.KMT")})
        EXPECT_TRUE(system.isOrdinaryFile(name)) << name;
    for (const char* name : {"E_KUBUN.KMT", "J_KUBUN.KMT", ""}) {
        EXPECT_FALSE(system.isOrdinaryFile(name)) << name;
        EXPECT_THROW(system.openRead(name), IoError) << name;
    }
#ifdef _WIN32
    // A look-up that fails is no answer: the file may well be there.
    EXPECT_THROW(system.isOrdinaryFile("a<b"), IoError);
#endif
    system.changeDirectory(before);
    EXPECT_EQ(system.currentDirectory(), before);
}

// The save's sequence: a temporary file beside the target, written, committed, moved over.
TEST(NativeSystem, SaveLeavesExactlyTheWrittenBytesUnderTheTargetsName) {
    std::string allBytes;  // CR, LF, NUL and all, to be read back unchanged
    for (int i = 0; i < 70000; ++i) allBytes += static_cast<char>(i * 7 % 256);
    const std::vector<std::string> aroundTheBuffer = {
        std::string(100, 'a'),   allBytes, "c", std::string(65536, 'd'),
        std::string(65535, 'e'), "f"};
    struct Case {
        const char* label;
        std::string name;
        bool bare;  // named from the current directory, as after the save's directory switch
        bool existed;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"new file", "KUBUN.KMT", true, false, {"1,2,0,\"\",\"\",\"\"\r\n"}},
        {"empty, over an old file", "KUBUN.KMT", false, true, {}},
        {"Japanese name", "区分ファイル.KMT", true, true, {test::cp932("\"備品\",1\r\n")}},
        {"pieces around the 64 KiB buffer", "KUBUN.KMT", false, true, aroundTheBuffer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const fs::path folder = dir / "備品データ";
        fs::create_directory(folder);
        System& system = nativeSystem();
        system.changeDirectory(utf8Of(folder));
        const fs::path path = folder / pathOf(c.name);
        const std::string target = c.bare ? c.name : utf8Of(path);
        if (c.existed) writeBytes(path, std::string(200000, 'o'));
        std::string expected;
        auto file = system.createTemporary(target);
        for (const std::string& piece : c.pieces) {
            file->write(piece);
            expected += piece;
        }
        file->commit();
        EXPECT_TRUE(fs::equivalent(fs::absolute(pathOf(file->name())).parent_path(), folder));
        system.replace(file->name(), target);

        EXPECT_TRUE(readBytes(path) == expected);
        EXPECT_EQ(namesIn(folder), std::set<std::string>{c.name});
    }
}

// A failed save leaves the target as it was and removes its temporary files, committed or not
// (an open one could not be removed on Windows).
TEST(NativeSystem, ReadOnlyTargetIsNeverReplaced) {
    TempDir dir;
    const fs::path target = dir / "KUBUN.KMT";
    writeBytes(target, "old\r\n");
    fs::permissions(target, fs::perms::owner_read);
    const fs::perms before = fs::status(target).permissions();
    System& system = nativeSystem();
    const std::string temporary = committedTemporary(system, utf8Of(target), "new\r\n");
    auto abandoned = system.createTemporary(utf8Of(target));
    abandoned->write("part of a table");
    const std::string abandonedName = abandoned->name();
    abandoned.reset();

    EXPECT_TRUE(system.isOrdinaryFile(utf8Of(target)));
    EXPECT_THROW(system.replace(temporary, utf8Of(target)), IoError);
    EXPECT_EQ(readBytes(target), "old\r\n");
    EXPECT_EQ(fs::status(target).permissions(), before);
    for (const std::string& name : {temporary, temporary, abandonedName, utf8Of(dir / "missing")})
        system.removeFile(name);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"});
}

// One kbnset at a time per folder, also within one process; the one that gets in removes what
// interrupted saves of the file left there, and nothing else.
TEST(NativeSystem, FolderLockAdmitsOneAtATimeAndClearsOnlyLeftovers) {
    using std::chrono::milliseconds;
#ifdef _WIN32
    const std::set<std::string> leftovers{"~KUBUN.KMT.0123456789abcdef.tmp",
                                          "~KUBUN.KMT.fedcba9876543210.bak"};
    const std::set<std::string> others{"KUBUN.KMT", "~KUBUN.KMT.0123456789abcdeg.tmp",
                                       "~KUBUN.KMT.0123456789abcdef.txt",
                                       "~E_KUBUN.KMT.0123456789abcdef.tmp"};
#else
    const std::set<std::string> leftovers{".KUBUN.KMT.a1B2c3", ".KUBUN.KMT.XXXXXX"};
    const std::set<std::string> others{"KUBUN.KMT",           ".KUBUN.KMT.a1B2c",
                                       ".KUBUN.KMT.a1B2c3d",  ".KUBUN.KMT.a1-2c3",
                                       ".E_KUBUN.KMT.a1B2c3", "KUBUN.KMT.a1B2c3"};
#endif
    TempDir dir;
    System& system = nativeSystem();
    for (const auto* names : {&leftovers, &others})
        for (const std::string& name : *names) writeBytes(dir / name, "x");

    auto first = system.lockFolder(dir.str(), "KUBUN.KMT", milliseconds(0));
    ASSERT_NE(first, nullptr);
    for (const std::string& name : leftovers) {
        EXPECT_FALSE(fs::exists(dir / name)) << name;
        writeBytes(dir / name, "x");  // now as if a running save had it
    }
    EXPECT_EQ(system.lockFolder(dir.str(), "KUBUN.KMT", milliseconds(50)), nullptr);
    for (const std::string& name : leftovers) EXPECT_TRUE(fs::exists(dir / name)) << name;
    first.reset();
    EXPECT_NE(system.lockFolder(dir.str(), "KUBUN.KMT", milliseconds(0)), nullptr);
    EXPECT_EQ(namesIn(dir.path()), others);
    EXPECT_THROW(system.lockFolder(utf8Of(dir / "gone"), "KUBUN.KMT", milliseconds(0)), IoError);
#ifdef _WIN32
    // Without the file, its backup may be the only copy left.
    TempDir bare;
    writeBytes(bare / "~KUBUN.KMT.fedcba9876543210.bak", "x");
    EXPECT_NE(system.lockFolder(bare.str(), "KUBUN.KMT", milliseconds(0)), nullptr);
    EXPECT_EQ(namesIn(bare.path()), std::set<std::string>{"~KUBUN.KMT.fedcba9876543210.bak"});
#endif
}

// The console refuses a data folder longer than the system takes, counted as the system
// counts: UTF-16 units on Windows (two for a character beyond the BMP), bytes on POSIX.
TEST(Paths, LengthInTheSystemsUnits) {
    const std::tuple<const char*, std::size_t, std::size_t> cases[] = {
        {"", 0, 0}, {"C:\\DATA", 7, 7}, {"C:\\データ", 6, 12}, {"C:\\𠮷", 5, 7}};
    for (auto [path, windows, posix] : cases)
#ifdef _WIN32
        EXPECT_EQ(pathLength(path), windows) << path;
#else
        EXPECT_EQ(pathLength(path), posix) << path;
#endif
}

#ifdef _WIN32

// What only Win32 has: attributes, drives, files held open and the registry.

// The attributes a user can set in Explorer; Windows adds others (e.g. NOT_CONTENT_INDEXED).
constexpr DWORD kUserAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

TEST(Win32Files, ChangeDriveGoesByTheFirstCharacter) {
    TempDir dir;
    System& system = nativeSystem();
    system.changeDirectory(dir.str());
    const std::string start = system.currentDirectory();

    // Only the first character counts: the rest need not exist, and case does not matter.
    const char own = static_cast<char>(std::tolower(static_cast<unsigned char>(start[0])));
    system.changeDrive(std::string(1, own) + ":\\no\\such\\directory");
    EXPECT_EQ(system.currentDirectory(), start);

    char missing = 0;  // a letter with no drive behind it
    for (char letter = 'Y'; letter >= 'D' && missing == 0; --letter)
        if (!(GetLogicalDrives() & (1u << (letter - 'A')))) missing = letter;
    ASSERT_NE(missing, 0) << "every drive letter is in use";
    for (const std::string& path : {std::string(1, missing) + ":\\DATA", std::string("1:\\DATA"),
                                    std::string("\\\\server\\share"), std::string("データ")}) {
        EXPECT_THROW(system.changeDrive(path), IoError) << path;
        EXPECT_EQ(system.currentDirectory(), start) << path;
    }
}

// Hidden and system files are not counted as category files; a save keeps what was set.
TEST(Win32Files, AttributesDecideTheLookUpAndSurviveTheReplace) {
    constexpr DWORD kHidden = FILE_ATTRIBUTE_HIDDEN, kSystem = FILE_ATTRIBUTE_SYSTEM;
    for (DWORD attributes : {DWORD{FILE_ATTRIBUTE_NORMAL}, DWORD{FILE_ATTRIBUTE_ARCHIVE}, kHidden,
                             kHidden | FILE_ATTRIBUTE_ARCHIVE, kSystem, kHidden | kSystem}) {
        TempDir dir;
        const fs::path target = dir / "KUBUN.KMT";
        writeBytes(target, "old\r\n");
        ASSERT_TRUE(SetFileAttributesW(target.c_str(), attributes));
        const DWORD before = GetFileAttributesW(target.c_str()) & kUserAttributes;
        System& system = nativeSystem();
        EXPECT_EQ(system.isOrdinaryFile(utf8Of(target)), (attributes & (kHidden | kSystem)) == 0)
            << attributes;

        system.replace(committedTemporary(system, utf8Of(target), "new\r\n"), utf8Of(target));

        EXPECT_EQ(readBytes(target), "new\r\n") << attributes;
        EXPECT_EQ(GetFileAttributesW(target.c_str()) & kUserAttributes, before) << attributes;
        // Neither the temporary file nor a backup is left behind.
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"}) << attributes;
    }
}

TEST(Win32Files, TargetHeldOpenByAnotherProgramIsLeftAsItWas) {
    TempDir dir;
    const fs::path target = dir / "KUBUN.KMT";
    writeBytes(target, "old\r\n");
    System& system = nativeSystem();
    const std::string temporary = committedTemporary(system, utf8Of(target), "new\r\n");
    // Another program reading the file without letting it be deleted or renamed.
    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    EXPECT_THROW(system.replace(temporary, utf8Of(target)), IoError);
    CloseHandle(held);
    EXPECT_EQ(readBytes(target), "old\r\n");
    system.removeFile(temporary);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"});
}

// Values stored as the suite's VB programs store them, under a name no real program uses.
TEST(Win32Settings, ReadsStoredTextOrGivesTheFallback) {
    constexpr wchar_t kRoot[] = L"Software\\VB and VBA Program Settings\\kbnset-test";
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    auto store = [&kRoot](const wchar_t* name, DWORD type, const void* data, std::size_t size) {
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\SCHOOL").c_str(),
                                  name, type, data, static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
    };
    const std::wstring longPath = L"D:\\" + std::wstring(300, L'x');
    const DWORD number = 7;
    store(L"DIR_ME", REG_SZ, L"C:\\ZORVEL\\データ", sizeof L"C:\\ZORVEL\\データ");
    store(L"EMPTY", REG_SZ, L"", sizeof L"");
    store(L"LONG", REG_SZ, longPath.c_str(), (longPath.size() + 1) * sizeof(wchar_t));
    store(L"NUMBER", REG_DWORD, &number, sizeof number);

    auto read = [](const char* application, const char* section, const char* name) {
        return nativeSystem().readSetting(application, section, name, "fallback");
    };
    EXPECT_EQ(read("kbnset-test", "SCHOOL", "DIR_ME"), "C:\\ZORVEL\\データ");
    EXPECT_EQ(read("kbnset-test", "SCHOOL", "EMPTY"), "");
    EXPECT_EQ(read("kbnset-test", "SCHOOL", "LONG"), "D:\\" + std::string(300, 'x'));
    EXPECT_EQ(read("kbnset-test", "SCHOOL", "NUMBER"), "fallback");
    EXPECT_EQ(read("kbnset-test", "SCHOOL", "MISSING"), "fallback");
    EXPECT_EQ(read("kbnset-test", "OTHER", "DIR_ME"), "fallback");
    EXPECT_EQ(read("kbnset-test-missing", "SCHOOL", "DIR_ME"), "fallback");
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
}

#else

// What only POSIX has: permission bits, symbolic links, FIFOs and the INI file that stands
// in for the registry.

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// The tests run as root, which could write to a file without write bits; the save must not.
TEST(PosixFiles, ReplaceKeepsThePermissionBitsAndRefusesReadOnlyTargets) {
    const std::pair<mode_t, bool> cases[] = {{0640, true},  {0604, true},  {0755, true},
                                             {0200, true},  {0020, true},  {0444, false},
                                             {0400, false}, {0555, false}, {0000, false}};
    for (const auto& [mode, replaced] : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << mode);
        TempDir dir;
        const std::string target = (dir / "KUBUN.KMT").string();
        writeBytes(target, "old");
        ::chmod(target.c_str(), mode);
        System& system = nativeSystem();
        const std::string temporary = committedTemporary(system, target, "new");
        if (replaced) {
            EXPECT_NO_THROW(system.replace(temporary, target));
        } else {
            EXPECT_THROW(system.replace(temporary, target), IoError);
            system.removeFile(temporary);
        }
        EXPECT_EQ(modeOf(target), mode);
        ::chmod(target.c_str(), 0600);
        EXPECT_EQ(readBytes(target), replaced ? "new" : "old");
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"KUBUN.KMT"});
    }
}

// The file the link points to, resolved once, is replaced, with its mode (or that of a new
// file); the link stays.
TEST(PosixFiles, SymbolicLinkTargetReplacesTheFileAndKeepsTheLink) {
    // What KUBUN.KMT points to (empty: the absolute path of real/KUBUN.KMT), and what a second
    // link real/hop points to, if there is one.
    const std::pair<std::string, std::string> cases[] = {
        {"real/KUBUN.KMT", ""},
        {"", ""},
        {"real/hop", "KUBUN.KMT"},  // relative from the second link's folder
        {"real/NEW.KMT", ""}};      // to a file that does not exist yet
    const mode_t previousMask = ::umask(027);
    for (const auto& [linkText, chain] : cases) {
        TempDir dir;
        fs::create_directory(dir / "real");
        const std::string link = linkText.empty() ? (dir / "real/KUBUN.KMT").string() : linkText;
        SCOPED_TRACE(link);
        const bool existed = linkText != "real/NEW.KMT";
        if (existed) {
            writeBytes(dir / "real/KUBUN.KMT", "old");
            ::chmod((dir / "real/KUBUN.KMT").c_str(), 0604);
        }
        if (!chain.empty()) fs::create_symlink(chain, dir / "real/hop");
        fs::create_symlink(link, dir / "KUBUN.KMT");
        const std::string target = nativeSystem().resolve((dir / "KUBUN.KMT").string());

        const std::string temporary = committedTemporary(nativeSystem(), target, "new");
        EXPECT_EQ(fs::path(temporary).parent_path(), dir / "real");
        nativeSystem().replace(temporary, target);

        EXPECT_EQ(fs::read_symlink(dir / "KUBUN.KMT"), link);
        EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), "new");
        EXPECT_EQ(modeOf(dir / "KUBUN.KMT"), existed ? 0604u : 0640u);
        EXPECT_EQ(namesIn(dir / "real").size(), chain.empty() ? 1u : 2u) << "a file left behind";
    }
    ::umask(previousMask);
}

TEST(PosixFiles, OnlyRegularFilesCountAndOpen) {
    TempDir dir;
    writeBytes(dir / "file", "x");
    fs::create_directory(dir / "folder");
    fs::create_symlink("file", dir / "to_file");
    fs::create_symlink("folder", dir / "to_folder");
    fs::create_symlink("missing", dir / "dangling");
    fs::create_symlink("loop", dir / "loop");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (std::string name :
         {"file", "to_file", "folder", "to_folder", "dangling", "fifo", "loop", "file/x"}) {
        const std::string path = (dir / name).string();
        const bool ordinary = name == "file" || name == "to_file";
        // A look-up that fails is no answer: the file may well be there.
        if (name == "loop")
            EXPECT_THROW(nativeSystem().isOrdinaryFile(path), IoError);
        else
            EXPECT_EQ(nativeSystem().isOrdinaryFile(path), ordinary) << name;
        // A FIFO without a writer would block a plain open for ever.
        if (ordinary)
            EXPECT_NO_THROW(nativeSystem().openRead(path)) << name;
        else
            EXPECT_THROW(nativeSystem().openRead(path), IoError) << name;
    }
}

// Sets an environment variable, or unsets it (nullopt), for one scope.
struct ScopedEnv {
    ScopedEnv(const char* variable, const std::optional<std::string>& value) : name(variable) {
        if (const char* old = std::getenv(name)) previous = old;
        set(value);
    }
    ~ScopedEnv() { set(previous); }
    void set(const std::optional<std::string>& value) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    const char* name;
    std::optional<std::string> previous;
};

TEST(PosixSettings, IniFileInTheConfigFolder) {
    TempDir dir;
    fs::create_directories(dir / "home/.config");
    writeBytes(dir / "home/.config/R-ZORVEL.ini", "[SCHOOL]\nDIR_ME=/from/home\n");
    ScopedEnv home("HOME", (dir / "home").string());
    ScopedEnv config("XDG_CONFIG_HOME", dir.str());
    auto dirMe = [](const char* application) {
        return nativeSystem().readSetting(application, "SCHOOL", "DIR_ME", "(none)");
    };
    struct Case {
        std::string_view ini, expected;
    };
    const Case cases[] = {
        {"[SCHOOL]\nDIR_ME=/srv/data\n", "/srv/data"},
        {"[school]\ndir_me=/srv/data", "/srv/data"},
        {"\xEF\xBB\xBF  [ School ] \r\n\t Dir_Me  =  /srv/学校 データ \t\r\n", "/srv/学校 データ"},
        {"[SCHOOL]\n; DIR_ME=/old\n# DIR_ME=/older\nDIR_ME=/new\n", "/new"},
        {"[SCHOOL]\nDIR_ME=/a;b#c=d\n", "/a;b#c=d"},
        {"[SCHOOL]\nDIR_ME=\n", ""},
        {"[SCHOOL]\nDIR_ME=/first\nDIR_ME=/second\n", "/first"},
        {"[SCHOOL]\nDIR_ME2=/x\nDIR=/y\nDIR_ME\n", "(none)"},
        {"DIR_ME=/x\n[OTHER]\nDIR_ME=/y\n[SCHOOLS]\nDIR_ME=/z\n", "(none)"},
        {"[OTHER]\n[SCHOOL]\n[OTHER]\nDIR_ME=/x\n", "(none)"},
        {"", "(none)"},
        {"[SCHOOL]\nDIR_ME = \"/srv/a b\" \n", "/srv/a b"},
        {"[SCHOOL]\nDIR_ME=\"\"\n", ""},
        {"[SCHOOL]\nDIR_ME=\"/x\n", "\"/x"},
        {std::string_view("[SCHOOL]\nDIR_ME=/x\0y\n", 20), "(none)"},
    };
    for (const Case& c : cases) {
        writeBytes(dir / "R-ZORVEL.ini", c.ini);
        EXPECT_EQ(dirMe("R-ZORVEL"), c.expected) << c.ini;
    }
    EXPECT_EQ(dirMe("ZORVEL"), "(none)");  // no such file
    writeBytes(dir / "ZORVEL.ini",
               "[SCHOOL]\nDIR_ME=/x\n" + std::string(std::size_t{1} << 20, ';'));
    EXPECT_EQ(dirMe("ZORVEL"), "(none)");  // far larger than a settings file
    // XDG_CONFIG_HOME counts only as an absolute path.
    config.set("relative/dir");
    EXPECT_EQ(dirMe("R-ZORVEL"), "/from/home");
    config.set(std::nullopt);
    EXPECT_EQ(dirMe("R-ZORVEL"), "/from/home");
}

#endif

}  // namespace
}  // namespace kbnset::runtime
