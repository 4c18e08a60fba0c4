// The save's own rules: another writer's file stays, a link is followed once, and another user
// gains nothing by saving that a write would not give.
#include "category/save.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <utility>

#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::category {
namespace {

namespace fs = std::filesystem;

class SaveTest : public ::testing::Test {
  protected:
    // Loads KUBUN.KMT and fills its first classification, as a run would before its save.
    void load() {
        ASSERT_EQ(KBN_LOAD(tables, dir.str(), {runtime::nativeSystem(), ui}), LoadResult::loaded);
        tables.KBN_TBL[0].KBN_CLASS = "ours";
    }
    bool save() { return KBN_SAVE(tables, dir.str(), {runtime::nativeSystem(), ui}); }

    test::TempDir dir;
    const fs::path kubun = dir / "KUBUN.KMT";
    const std::string before = test::kmt({{.name = "机"}});
    test::RecordingUi ui;
    Tables tables;
};

// Whatever another writer did to KUBUN.KMT since the load stays as it is, and the save says
// that it failed.
TEST_F(SaveTest, AnotherWriterSinceTheLoadKeepsItsFile) {
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"nothing", [] {}},
        {"edited in place", [&] { test::writeBytes(kubun, test::kmt({{.name = "椅子"}})); }},
        {"same bytes, another file",
         [&] { fs::copy_file(kubun, dir / "new"), fs::rename(dir / "new", kubun); }},
        {"removed", [&] { fs::remove(kubun); }},
    };
    for (const auto& [what, meanwhile] : cases) {
        SCOPED_TRACE(what);
        test::writeBytes(kubun, before);
        load();
        meanwhile();
        const bool there = fs::exists(kubun), ours = std::string(what) == "nothing";
        const std::string theirs = there ? test::readBytes(kubun) : "";
        ui.messages.clear();
        EXPECT_EQ(save(), ours);
        EXPECT_EQ(ui.messages.size(), ours ? 0u : 1u);
        EXPECT_EQ(fs::exists(kubun), there);
        if (there) {
            EXPECT_EQ(test::readBytes(kubun) == theirs, !ours);
        }
        EXPECT_EQ(test::namesIn(dir.path()).size(), there ? 1u : 0u);
    }
}

// Only what the run changed is encoded anew: a character with two codes keeps the one it had
// in a value the run did not change, and the values the save always writes as designed are so.
TEST_F(SaveTest, WritesBackTheBytesOfWhatTheRunDidNotChange) {
    const std::string header = "1,2,0,\"\",\"\",\"\"\r\n";
    auto line = [](std::string_view type, std::string_view name, std::string_view code,
                   std::string_view key2, std::string_view val7, std::string_view cls,
                   std::string_view rest) {
        return "\"" + std::string(type) + "\",0,\"" + std::string(name) + "\",\"" +
               std::string(code) + "\",\"" + std::string(key2) + "\",0,\"" + std::string(val7) +
               "\",0,0,\"" + std::string(cls) + "\"," + std::string(rest) + "\r\n";
    };
    const std::string filled = test::cp932("机");
    const std::string twoCodes =
        line("\xFA\x54", "\xEE\xEF", "1", "\x87\x90", "\x87\x9A", "\xED\x40", "\"\",0,0");
    test::writeBytes(kubun, header + line("A", filled, "1", "", "", "", "\"\",0,0") + twoCodes +
                                line("B", "b", "k2", "", "", "c", "\"memo\",5,6"));
    load();
    EXPECT_TRUE(save());
    EXPECT_EQ(test::readBytes(kubun), header + line("A", filled, "1", "", "", "ours", "\"\",0,0") +
                                          twoCodes + line("B", "b", "K2", "", "", "c", "\"\",0,0"));
}

#ifndef _WIN32
// The link is followed once, at the load: repointing it before the save changes nothing.
TEST_F(SaveTest, LinkRepointedAfterTheLoadDoesNotRedirectTheSave) {
    fs::create_directory(dir / "real");
    test::writeBytes(dir / "real/KUBUN.KMT", before);
    test::writeBytes(dir / "victim", "own file");
    fs::create_symlink("real/KUBUN.KMT", kubun);
    load();
    fs::remove(kubun);
    fs::create_symlink(dir / "victim", kubun);
    EXPECT_TRUE(save());
    EXPECT_EQ(test::readBytes(dir / "victim"), "own file");
    EXPECT_NE(test::readBytes(dir / "real/KUBUN.KMT").find("ours"), std::string::npos);
}

// Saved by another user, the file is replaced only where that user could write it, and keeps
// its mode and group.
TEST_F(SaveTest, AnotherUserGainsNothingAWriteWouldNotGive) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as other users needs root";
    constexpr uid_t kUser = 65534;
    constexpr gid_t kGroup = 4242;
    struct Case {
        mode_t folder, mode;
        gid_t group;
        bool member, saved;
        gid_t groupAfter;
    };
    const Case cases[] = {
        {0777, 0644, 0, false, false, 0},            // root's file in an open folder
        {0770, 0660, kGroup, true, true, kGroup},    // the group's file, saved by a member
        {0777, 0666, 0, false, true, kUser},         // everyone's: nobody loses access
        {0777, 0676, kGroup, false, false, kGroup},  // the group would lose its execute bit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.mode);
        test::writeBytes(kubun, before);
        for (const fs::path& p : {kubun, dir.path()}) ASSERT_EQ(::chown(p.c_str(), 0, c.group), 0);
        ASSERT_EQ(::chmod(kubun.c_str(), c.mode), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), c.folder), 0);
        load();
        const pid_t child = ::fork();
        if (child == 0) {
            const gid_t groups[] = {kGroup};
            const bool dropped = ::setgroups(c.member ? 1 : 0, groups) == 0 &&
                                 ::setresgid(kUser, kUser, kUser) == 0 &&
                                 ::setresuid(kUser, kUser, kUser) == 0;
            ::_exit(dropped ? save() ? 0 : 1 : 2);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(status, c.saved ? 0 : 1 << 8);
        struct stat st {};
        ASSERT_EQ(::stat(kubun.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(st.st_gid, c.groupAfter);
        EXPECT_EQ(st.st_uid, c.saved ? kUser : 0u);
        EXPECT_EQ(test::readBytes(kubun) == before, !c.saved);
        EXPECT_EQ(test::namesIn(dir.path()).size(), 1u);
    }
}
#endif

}  // namespace
}  // namespace kbnset::category
