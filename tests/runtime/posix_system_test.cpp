#ifndef _WIN32

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "runtime/error.hpp"
#include "runtime/system.hpp"
#include "support/temp_dir.hpp"

// What only the POSIX side has: permission bits, symbolic links, FIFOs and the INI file
// that stands in for the registry.
namespace kbnset::runtime {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

void save(const std::string& target, std::string_view bytes) {
    System& system = nativeSystem();
    auto file = system.createTemporary(target);
    file->write(bytes);
    file->commit();
    system.replace(file->name(), target);
}

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(PosixFiles, ReplaceKeepsThePermissionBits) {
    for (mode_t mode : {0640u, 0600u, 0604u, 0755u, 0200u}) {
        TempDir dir;
        fs::path target = dir / "KUBUN.KMT";
        writeBytes(target, "old");
        ::chmod(target.c_str(), mode);
        save(target, "new");
        EXPECT_EQ(modeOf(target), mode) << std::oct << mode;
        ::chmod(target.c_str(), 0600);
        EXPECT_EQ(readBytes(target), "new");
    }
}

TEST(PosixFiles, NewTargetGetsTheModeOfANewFile) {
    TempDir dir;
    mode_t previous = ::umask(027);
    save(dir / "KUBUN.KMT", "new");
    ::umask(previous);
    EXPECT_EQ(modeOf(dir / "KUBUN.KMT"), 0640u);
}

// The tests run as root here, which could write to any of these; the save must not.
TEST(PosixFiles, TargetWithoutWriteBitsIsRefused) {
    for (mode_t mode : {0444u, 0400u, 0555u, 0000u}) {
        TempDir dir;
        fs::path target = dir / "KUBUN.KMT";
        writeBytes(target, "old");
        ::chmod(target.c_str(), mode);
        EXPECT_THROW(save(target, "new"), IoError) << std::oct << mode;
        ::chmod(target.c_str(), 0600);
        EXPECT_EQ(readBytes(target), "old") << std::oct << mode;
        EXPECT_EQ(modeOf(target), 0600u);
    }
}

TEST(PosixFiles, SymbolicLinkTargetReplacesTheFileAndKeepsTheLink) {
    struct Case {
        const char* label;
        std::string link;   // what KUBUN.KMT points to
        std::string chain;  // when not empty, a second link "hop" pointing here
    };
    const Case cases[] = {
        {"relative", "real/KUBUN.KMT", ""},
        {"absolute", "", ""},  // filled in with the absolute path below
        {"relative from a subfolder link", "real/hop", "KUBUN.KMT"},
        {"to a file that does not exist yet", "real/NEW.KMT", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        fs::create_directory(dir / "real");
        std::string link = c.link.empty() ? (dir / "real/KUBUN.KMT").string() : c.link;
        if (c.link != "real/NEW.KMT") writeBytes(dir / "real/KUBUN.KMT", "old");
        if (!c.chain.empty()) fs::create_symlink(c.chain, dir / "real/hop");
        fs::create_symlink(link, dir / "KUBUN.KMT");

        auto file = nativeSystem().createTemporary((dir / "KUBUN.KMT").string());
        EXPECT_EQ(fs::path(file->name()).parent_path(), dir / "real") << c.label;
        file->write("new");
        file->commit();
        nativeSystem().replace(file->name(), (dir / "KUBUN.KMT").string());

        EXPECT_TRUE(fs::is_symlink(dir / "KUBUN.KMT")) << c.label;
        EXPECT_EQ(fs::read_symlink(dir / "KUBUN.KMT"), link) << c.label;
        EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), "new") << c.label;
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(dir / "real"))
            files += entry.is_regular_file() && !entry.is_symlink();
        EXPECT_EQ(files, 1u) << c.label << ": a temporary file was left behind";
    }
}

TEST(PosixFiles, OnlyRegularFilesCountAndOpen) {
    TempDir dir;
    writeBytes(dir / "file", "x");
    fs::create_directory(dir / "folder");
    fs::create_symlink("file", dir / "to_file");
    fs::create_symlink("folder", dir / "to_folder");
    fs::create_symlink("missing", dir / "dangling");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Case {
        const char* name;
        bool ordinary;
    };
    for (auto [name, ordinary] :
         {Case{"file", true}, Case{"to_file", true}, Case{"folder", false},
          Case{"to_folder", false}, Case{"dangling", false}, Case{"fifo", false}}) {
        std::string path = (dir / name).string();
        EXPECT_EQ(nativeSystem().isOrdinaryFile(path), ordinary) << name;
        // A FIFO without a writer would block a plain open for ever.
        if (ordinary)
            EXPECT_NO_THROW(nativeSystem().openRead(path)) << name;
        else
            EXPECT_THROW(nativeSystem().openRead(path), IoError) << name;
    }
}

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

TEST(PosixFiles, FilesCloseOnEveryWayOut) {
    TempDir dir;
    std::string target = (dir / "KUBUN.KMT").string();
    std::size_t before = openDescriptors();
    {
        auto abandoned = nativeSystem().createTemporary(target);
        abandoned->write("half");
        auto reader = nativeSystem().openRead(abandoned->name());
    }
    save(target, "whole");
    EXPECT_EQ(openDescriptors(), before);
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        set(value);
    }
    ~ScopedEnv() { set(old_); }

  private:
    void set(const std::optional<std::string>& value) {
        if (value)
            ::setenv(name_, value->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> old_;
};

std::string setting(const TempDir& dir, std::string_view ini) {
    writeBytes(dir / "R-ZORVEL.ini", ini);
    ScopedEnv config("XDG_CONFIG_HOME", dir.str());
    return nativeSystem().readSetting("R-ZORVEL", "SCHOOL", "DIR_ME", "(none)");
}

TEST(PosixSettings, IniFileLines) {
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
    };
    for (const Case& c : cases) {
        TempDir dir;
        EXPECT_EQ(setting(dir, c.ini), c.expected) << c.ini;
    }
}

TEST(PosixSettings, FileLocation) {
    TempDir dir;
    fs::create_directories(dir / "home/.config");
    writeBytes(dir / "home/.config/R-ZORVEL.ini", "[SCHOOL]\nDIR_ME=/from/home\n");
    writeBytes(dir / "R-ZORVEL.ini", "[SCHOOL]\nDIR_ME=/from/xdg\n");
    ScopedEnv home("HOME", (dir / "home").string());
    struct Case {
        std::optional<std::string> xdg;
        std::string application, expected;
    };
    const Case cases[] = {
        {dir.str(), "R-ZORVEL", "/from/xdg"}, {std::nullopt, "R-ZORVEL", "/from/home"},
        {"", "R-ZORVEL", "/from/home"},       {"relative/dir", "R-ZORVEL", "/from/home"},
        {dir.str(), "ZORVEL", "(none)"},      {dir.str(), "", "(none)"},
    };
    for (const Case& c : cases) {
        ScopedEnv config("XDG_CONFIG_HOME", c.xdg);
        EXPECT_EQ(nativeSystem().readSetting(c.application, "SCHOOL", "DIR_ME", "(none)"),
                  c.expected)
            << c.xdg.value_or("(unset)") << ' ' << c.application;
    }
}

}  // namespace
}  // namespace kbnset::runtime

#endif
