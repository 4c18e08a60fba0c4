#include "runtime/system.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "runtime/error.hpp"
#include "runtime/paths.hpp"
#include "support/temp_dir.hpp"

// What the save, the load and the folder lock ask of the system beyond what the console's
// end-to-end table and the save's own cases show. Natively against the POSIX implementation,
// under Wine against the Win32 one.
namespace kbnset::runtime {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

std::string readAll(InputFile& file) {
    std::string bytes;
    char chunk[4096];
    while (std::size_t n = file.read(chunk, sizeof chunk)) bytes.append(chunk, n);
    return bytes;
}

// One kbnset at a time per file, also within one process and whatever folder or link reaches
// the file; the one that gets in removes what interrupted saves of the file left beside it,
// and nothing else.
TEST(NativeSystem, FileLockAdmitsOneAtATimeAndClearsOnlyLeftovers) {
    using std::chrono::milliseconds;
#ifdef _WIN32
    const std::set<std::string> leftovers{"~KUBUN.KMT.0123456789abcdef.tmp",
                                          "~KUBUN.KMT.fedcba9876543210.bak"};
    const std::set<std::string> others{"KUBUN.KMT", "~KUBUN.KMT.0123456789abcdeg.tmp",
                                       "~E_KUBUN.KMT.0123456789abcdef.tmp"};
#else
    const std::set<std::string> leftovers{".KUBUN.KMT.a1B2c3", ".KUBUN.KMT.XXXXXX"};
    const std::set<std::string> others{"KUBUN.KMT", ".KUBUN.KMT.a1B2c", ".KUBUN.KMT.a1B2c3d",
                                       ".E_KUBUN.KMT.a1B2c3"};
#endif
    TempDir dir;
    System& system = nativeSystem();
    fs::create_directory(dir / "data");
    for (const auto* names : {&leftovers, &others})
        for (const std::string& name : *names) writeBytes(dir / "data" / name, "x");
    const std::string data = utf8Of(dir / "data");

    auto first = system.lockFile(data, "KUBUN.KMT", milliseconds(0));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->held());
    EXPECT_EQ(system.lockFile(data, "KUBUN.KMT", milliseconds(50)), nullptr);
#ifndef _WIN32
    fs::create_directory(dir / "other");
    fs::create_symlink("../data/KUBUN.KMT", dir / "other/KUBUN.KMT");
    EXPECT_EQ(system.lockFile(utf8Of(dir / "other"), "KUBUN.KMT", milliseconds(50)), nullptr);
#endif
    first.reset();
    EXPECT_EQ(namesIn(dir / "data"), others);
#ifdef _WIN32
    // Without the file, its backup may be the only copy left.
    TempDir bare;
    writeBytes(bare / "~KUBUN.KMT.fedcba9876543210.bak", "x");
    EXPECT_NE(system.lockFile(bare.str(), "KUBUN.KMT", milliseconds(0)), nullptr);
    EXPECT_EQ(namesIn(bare.path()).size(), 1u);
#endif
}

// The replace swaps the new file in, shows the check the file it took away, and puts that
// back when the check says it is not the one loaded; a backup name keeps the old file.
// Without a check it only creates the file.
TEST(NativeSystem, ReplaceChecksTheFileItTookAway) {
    struct Case {
        const char* name;
        std::optional<std::string> before;  // the target's bytes; none: no target
        bool loaded;                        // a check is given: a file was loaded
        bool same;                          // what the check answers
        bool backup;                        // keep the old file as "KUBUN.BAK" (one is there)
    };
    const Case cases[] = {
        {"nothing loaded, none there: created", std::nullopt, false, false, false},
        {"nothing loaded, one came: kept", "other", false, false, false},
        {"the file loaded is gone: none created", std::nullopt, true, true, false},
        {"the file loaded: replaced", "old", true, true, false},
        {"the file loaded: replaced, kept as the backup", "old", true, true, true},
        {"another file: put back", "other", true, false, false},
        {"another file: put back, the backup untouched", "other", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string target = utf8Of(dir / "KUBUN.KMT");
        const std::string backup = c.backup ? utf8Of(dir / "KUBUN.BAK") : "";
        if (c.before) writeBytes(dir / "KUBUN.KMT", *c.before);
        if (c.backup) writeBytes(dir / "KUBUN.BAK", "older");
        auto file = nativeSystem().createTemporary(target);
        file->write("new");
        file->commit();
        std::string seen = "(not called)";
        ReplaceCheck check;
        if (c.loaded)
            check = [&](InputFile& replaced) {
                seen = readAll(replaced);
                return c.same;
            };
        const bool replaced = c.loaded ? c.before && c.same : !c.before;
        if (replaced) {
            nativeSystem().replace(file->name(), target, backup, check);
        } else {
            EXPECT_THROW(nativeSystem().replace(file->name(), target, backup, check), ChangedError);
            EXPECT_EQ(readBytes(pathOf(file->name())), "new");
            nativeSystem().removeFile(file->name());
        }
        EXPECT_EQ(seen, c.loaded && c.before ? *c.before : "(not called)");
        EXPECT_EQ(fs::exists(dir / "KUBUN.KMT"), replaced || c.before);
        if (replaced || c.before) {
            EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), replaced ? "new" : *c.before);
        }
        if (c.backup) {
            EXPECT_EQ(readBytes(dir / "KUBUN.BAK"), replaced ? *c.before : "older");
        }
        EXPECT_EQ(namesIn(dir.path()).size(),
                  (replaced || c.before ? 1u : 0u) + (c.backup ? 1u : 0u));
    }
}

TEST(NativeSystem, ExchangeSwapsTwoFiles) {
    TempDir dir;
    writeBytes(dir / "a", "first");
    writeBytes(dir / "b", "second");
    nativeSystem().exchange(utf8Of(dir / "a"), utf8Of(dir / "b"));
    EXPECT_EQ(readBytes(dir / "a"), "second");
    EXPECT_EQ(readBytes(dir / "b"), "first");
    EXPECT_EQ(namesIn(dir.path()).size(), 2u);
}

// The console refuses a data folder longer than the system takes, counted as the system
// counts: UTF-16 units on Windows (two for a character beyond the BMP), bytes on POSIX.
TEST(Paths, LengthInTheSystemsUnits) {
    const std::tuple<const char*, std::size_t, std::size_t> cases[] = {
        {"C:\\DATA", 7, 7}, {"C:\\データ", 6, 12}, {"C:\\𠮷", 5, 7}};
    for (auto [path, windows, posix] : cases)
#ifdef _WIN32
        EXPECT_EQ(pathLength(path), windows) << path;
#else
        EXPECT_EQ(pathLength(path), posix) << path;
#endif
}

#ifdef _WIN32

// A look-up that fails is no answer: the file may well be there.
TEST(Win32Files, FailedLookUpIsNoAnswer) {
    EXPECT_THROW(nativeSystem().isOrdinaryFile("a<b"), IoError);
}

#else

// A file the save creates gets what the umask leaves of 0666, as any new file would.
TEST(PosixFiles, NewFileFollowsTheUmask) {
    TempDir dir;
    const std::string target = (dir / "KUBUN.KMT").string();
    const mode_t previousMask = ::umask(027);
    auto file = nativeSystem().createTemporary(target);
    file->commit();
    nativeSystem().replace(file->name(), target, {}, {});
    ::umask(previousMask);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Only regular files count and open; a FIFO without a writer would block a plain open for
// ever, and a look-up that fails (a link loop) is no answer.
TEST(PosixFiles, OnlyRegularFilesCountAndOpen) {
    TempDir dir;
    writeBytes(dir / "file", "x");
    fs::create_symlink("file", dir / "to_file");
    fs::create_symlink("loop", dir / "loop");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (std::string name : {"file", "to_file", "fifo", "missing"}) {
        const std::string path = (dir / name).string();
        const bool ordinary = name == "file" || name == "to_file";
        EXPECT_EQ(nativeSystem().isOrdinaryFile(path), ordinary) << name;
        if (ordinary)
            EXPECT_NO_THROW(nativeSystem().openRead(path)) << name;
        else
            EXPECT_THROW(nativeSystem().openRead(path), IoError) << name;
    }
    EXPECT_THROW(nativeSystem().isOrdinaryFile((dir / "loop").string()), IoError);
}

// The INI file that stands in for the registry, read as Windows reads its own INI files.
TEST(PosixSettings, IniFileInTheConfigFolder) {
    TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> previous =
        old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", dir.str().c_str(), 1);
    auto dirMe = [] {
        return nativeSystem().readSetting("R-ZORVEL", "SCHOOL", "DIR_ME", "(none)");
    };
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\xEF\xBB\xBF  [ School ] \r\n\t Dir_Me  =  /srv/学校 データ \t\r\n", "/srv/学校 データ"},
        {"[SCHOOL]\n; DIR_ME=/old\nDIR_ME=/a;b#c=d\nDIR_ME=/second\n", "/a;b#c=d"},
        {"[SCHOOL]\nDIR_ME2=/x\nDIR_ME\n[SCHOOLS]\nDIR_ME=/z\n", "(none)"},
        {"[SCHOOL]\nDIR_ME = \"/srv/a b\" \n", "/srv/a b"},
        {std::string_view("[SCHOOL]\nDIR_ME=/x\0y\n", 20), "(none)"},
    };
    for (const auto& [ini, expected] : cases) {
        writeBytes(dir / "R-ZORVEL.ini", ini);
        EXPECT_EQ(dirMe(), expected) << ini;
    }
    previous ? ::setenv("XDG_CONFIG_HOME", previous->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}

#endif

}  // namespace
}  // namespace kbnset::runtime
