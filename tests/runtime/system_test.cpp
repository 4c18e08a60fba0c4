#include "runtime/system.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
    const std::set<std::string> leftovers{"~KUBUN.KMT.kbnset-0123456789abcdef.tmp",
                                          "~KUBUN.KMT.kbnset-fedcba9876543210.bak"};
    const std::set<std::string> others{
        "KUBUN.KMT", "~KUBUN.KMT.0123456789abcdef.tmp", "~KUBUN.KMT.kbnset-0123456789abcdeg.tmp",
        "~KUBUN.KMT.kbnset-0123456789abcdef.swap", "~E_KUBUN.KMT.kbnset-0123456789abcdef.tmp"};
#else
    const std::set<std::string> leftovers{".KUBUN.KMT.kbnset-tmp.a1B2c3"};
    const std::set<std::string> others{"KUBUN.KMT",
                                       ".KUBUN.KMT.backup",
                                       ".KUBUN.KMT.2024v1",
                                       ".KUBUN.KMT.a1B2c3",
                                       ".KUBUN.KMT.kbnset-tmp.a1B2c",
                                       ".KUBUN.KMT.kbnset-tmp.a1B2c3d",
                                       ".E_KUBUN.KMT.kbnset-tmp.a1B2c3"};
#endif
    TempDir dir;
    System& system = nativeSystem();
    fs::create_directory(dir / "data");
    for (const auto* names : {&leftovers, &others})
        for (const std::string& name : *names) writeBytes(dir / "data" / name, "x");
    const std::string data = utf8Of(dir / "data");
    // A save that never reached its commit leaves its temporary file.
    const std::string orphan =
        nativeSystem().createTemporary(utf8Of(dir / "data/KUBUN.KMT"))->name();

    auto first = system.lockFile(data, "KUBUN.KMT", milliseconds(0));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->held());
    EXPECT_EQ(system.lockFile(data, "KUBUN.KMT", milliseconds(50)), nullptr);
#ifdef _WIN32
    // Nor may another program open the file for writing meanwhile.
    EXPECT_FALSE(std::ofstream(dir / "data/KUBUN.KMT", std::ios::app).is_open());
#else
    fs::create_directory(dir / "other");
    fs::create_symlink("../data/KUBUN.KMT", dir / "other/KUBUN.KMT");
    EXPECT_EQ(system.lockFile(utf8Of(dir / "other"), "KUBUN.KMT", milliseconds(50)), nullptr);
#endif
    first.reset();
    EXPECT_FALSE(fs::exists(pathOf(orphan)));
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
        {"another file: put back, the backup untouched", "other", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string target = utf8Of(dir / "KUBUN.KMT");
        const std::string backup = c.backup ? utf8Of(dir / "KUBUN.BAK") : "";
        if (c.before) writeBytes(dir / "KUBUN.KMT", *c.before);
        if (c.backup) writeBytes(dir / "KUBUN.BAK", "older");
        // As a run replaces: with the file locked and, on Windows, held open.
        auto lock = nativeSystem().lockFile(dir.str(), "KUBUN.KMT", std::chrono::milliseconds(0));
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
        lock.reset();
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

#ifndef _WIN32

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

// What a shell command prints; empty when it fails.
std::string shell(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return out;
    char chunk[256];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, n);
    return ::pclose(pipe) == 0 ? out : std::string();
}

// What `step` does as the user `uid` (0: this one), in a child process: 0 when it returned,
// 1 when it threw an IoError, 2 otherwise.
int asUser(unsigned uid, const std::function<void()>& step) {
    const pid_t child = ::fork();
    if (child == 0) {
        int result = 2;
        try {
            if (uid == 0 || (::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
                             ::setresuid(uid, uid, uid) == 0)) {
                step();
                result = 0;
            }
        } catch (const IoError&) {
            result = 1;
        } catch (...) {
        }
        ::_exit(result);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The dry run's question meets what the real replace meets, and opens nothing for writing:
// a file watcher sees no write (root only: other users and a bind mount).
TEST(PosixFiles, ReplaceableAskedAsTheSaveMeetsIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as another user and binding a file need root";
    struct Case {
        const char* name;
        unsigned folderMode, fileMode, fileOwner, user;
        bool bound;  // another file bind-mounted onto KUBUN.KMT
    };
    const Case cases[] = {
        {"a writable file", 0777, 0666, 0, 65534, false},
        {"another user's file this one may not write", 0777, 0644, 0, 65534, false},
        {"a folder closed to the user", 0555, 0666, 0, 65534, false},
        {"a sticky folder, another user's file", 01777, 0666, 0, 65534, false},
        {"a sticky folder, the user's own file", 01777, 0666, 65534, 65534, false},
        {"a file bound onto the name", 0755, 0666, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::permissions(dir.path(), static_cast<fs::perms>(0755));
        fs::create_directory(dir / "data");
        const std::string target = utf8Of(dir / "data/KUBUN.KMT");
        writeBytes(dir / "data/KUBUN.KMT", "old");
        writeBytes(dir / "other", "other");
        fs::permissions(dir / "data/KUBUN.KMT", static_cast<fs::perms>(c.fileMode));
        ASSERT_EQ(::chown(target.c_str(), c.fileOwner, c.fileOwner), 0);
        fs::permissions(dir / "data", static_cast<fs::perms>(c.folderMode));
        if (c.bound &&
            shell("mount --bind '" + utf8Of(dir / "other") + "' '" + target + "' && echo ok")
                .empty())
            GTEST_SKIP() << "cannot bind-mount a file here";
        const int watch = ::inotify_init1(IN_NONBLOCK);
        ::inotify_add_watch(watch, target.c_str(), IN_CLOSE_WRITE);
        const int asked = asUser(c.user, [&] { nativeSystem().checkReplaceable(target); });
        char events[4096];
        EXPECT_LE(::read(watch, events, sizeof events), 0) << "a write was seen before the save";
        const int saved = asUser(c.user, [&] {
            auto file = nativeSystem().createTemporary(target);
            file->commit();
            try {
                nativeSystem().replace(file->name(), target, {}, [](InputFile&) { return true; });
            } catch (...) {
                nativeSystem().removeFile(file->name());
                throw;
            }
        });
        if (c.bound) shell("umount '" + target + "'");
        EXPECT_EQ(asked, saved);
        ::close(watch);
    }
}

// A replaced file keeps its ACL and extended attributes exactly, the group bits are not
// taken from the ACL's mask, and the user to whom the ACL grants write may save. On a
// loop-mounted ext4, since tmpfs may lack user attributes (root only).
TEST(PosixFiles, ReplaceKeepsTheAclAndAttributes) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting an ext4 image needs root";
    TempDir dir;
    const std::string root = dir.str();
    fs::permissions(dir.path(), static_cast<fs::perms>(0755));
    fs::create_directory(dir / "mnt");
    if (shell("cd '" + root +
              "' && truncate -s 8M img && mkfs.ext4 -q -F img && "
              "mount -o loop img mnt && echo ok") != "ok\n")
        GTEST_SKIP() << "cannot mount a loop-mounted ext4 here (no loop device or mkfs.ext4)";
    struct Unmount {
        std::string at;
        ~Unmount() { shell("umount '" + at + "'"); }
    } unmount{root + "/mnt"};
    const std::string data = root + "/mnt/data", target = data + "/KUBUN.KMT";
    fs::create_directory(data);
    const std::string acl = "getfacl --omit-header '" + target + "'";
    const std::string attributes = "getfattr -d -m user. '" + target + "'";
    for (const unsigned uid : {0u, 65534u}) {
        SCOPED_TRACE(uid);
        writeBytes(pathOf(target), "old");
        fs::permissions(pathOf(target), static_cast<fs::perms>(0644));
        ASSERT_NE(shell("setfacl -m u:nobody:rwx '" + data +
                        "' && setfacl -m "
                        "u:nobody:rw-,g::r--,m::rw- '" +
                        target +
                        "' && setfattr -n user.school "
                        "-v zorvel '" +
                        target + "' && echo ok"),
                  "");
        const std::string aclBefore = shell(acl), attributesBefore = shell(attributes);
        auto save = [&] {
            auto file = nativeSystem().createTemporary(target);
            file->write("new");
            file->commit();
            nativeSystem().replace(file->name(), target, {}, [](InputFile&) { return true; });
        };
        // The dry run's answer first: it must not predict other than the save meets.
        EXPECT_EQ(asUser(uid, [&] { nativeSystem().checkReplaceable(target); }), 0);
        EXPECT_EQ(asUser(uid, save), 0) << "could not save";
        EXPECT_EQ(readBytes(pathOf(target)), "new");
        EXPECT_EQ(shell(acl), aclBefore);
        EXPECT_NE(shell(attributes).find("user.school=\"zorvel\""), std::string::npos);
    }
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
