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

constexpr char kSaveFailed[] = "備品区分ファイルの保存に失敗しました";

class SaveTest : public ::testing::Test {
  protected:
    Context ctx() { return {runtime::nativeSystem(), ui}; }
    std::string file() { return test::readBytes(dir / "KUBUN.KMT"); }
    std::size_t entries() { return test::namesIn(dir.path()).size(); }

    test::TempDir dir;
    test::RecordingUi ui;
    Tables tables;
};

// Whatever another writer did to KUBUN.KMT since the load stays as it is, and the save says
// that it failed.
TEST_F(SaveTest, AnotherWriterSinceTheLoadKeepsItsFile) {
    const fs::path kubun = dir / "KUBUN.KMT";
    const std::string before = test::kmt({{.name = "机"}});
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"nothing", [] {}},
        {"edited in place", [&] { test::writeBytes(kubun, test::kmt({{.name = "椅子"}})); }},
        {"same bytes, another file",
         [&] {
             test::writeBytes(dir / "new", before);
             fs::rename(dir / "new", kubun);
         }},
        {"removed", [&] { fs::remove(kubun); }},
    };
    for (const auto& [what, meanwhile] : cases) {
        SCOPED_TRACE(what);
        test::writeBytes(kubun, before);
        ASSERT_EQ(KBN_LOAD(tables, dir.str(), ctx()), LoadResult::loaded);
        tables.KBN_TBL[0].KBN_CLASS = "ours";
        meanwhile();
        const bool there = fs::exists(kubun);
        const std::string theirs = there ? file() : "";
        ui.messages.clear();
        KBN_SAVE(tables, dir.str(), ctx());
        const bool untouched = std::string(what) != "nothing";
        EXPECT_EQ(ui.messages,
                  untouched ? std::vector<std::string>{kSaveFailed} : std::vector<std::string>{});
        EXPECT_EQ(fs::exists(kubun), there);
        if (there) {
            EXPECT_EQ(file() == theirs, untouched);
        }
        EXPECT_EQ(entries(), there ? 1u : 0u);
    }
}

#ifndef _WIN32
// The link is followed once, at the load: repointing it before the save changes nothing, and
// the save writes the file the link named, leaving the link a link.
TEST_F(SaveTest, LinkRepointedAfterTheLoadDoesNotRedirectTheSave) {
    fs::create_directory(dir / "real");
    test::writeBytes(dir / "real/KUBUN.KMT", test::kmt({{.name = "机"}}));
    test::writeBytes(dir / "victim", "own file");
    fs::create_symlink("real/KUBUN.KMT", dir / "KUBUN.KMT");
    ASSERT_EQ(KBN_LOAD(tables, dir.str(), ctx()), LoadResult::loaded);
    tables.KBN_TBL[0].KBN_CLASS = "ours";
    fs::remove(dir / "KUBUN.KMT");
    fs::create_symlink(dir / "victim", dir / "KUBUN.KMT");
    KBN_SAVE(tables, dir.str(), ctx());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(test::readBytes(dir / "victim"), "own file");
    EXPECT_TRUE(fs::is_symlink(dir / "KUBUN.KMT"));
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
        {0777, 0664, kGroup, false, false, kGroup},  // the group would lose its write access
    };
    const std::string path = (dir / "KUBUN.KMT").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.mode);
        const std::string before = test::kmt({{.name = "机"}});
        test::writeBytes(path, before);
        ASSERT_EQ(::chown(path.c_str(), 0, c.group), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        ASSERT_EQ(::chown(dir.str().c_str(), 0, c.group), 0);
        ASSERT_EQ(::chmod(dir.str().c_str(), c.folder), 0);
        ASSERT_EQ(KBN_LOAD(tables, dir.str(), ctx()), LoadResult::loaded);
        tables.KBN_TBL[0].KBN_CLASS = "ours";
        const pid_t child = ::fork();
        if (child == 0) {
            const gid_t groups[] = {kGroup};
            if (::setgroups(c.member ? 1 : 0, groups) != 0 || ::setresgid(kUser, kUser, kUser) ||
                ::setresuid(kUser, kUser, kUser) != 0)
                ::_exit(2);
            ui.messages.clear();
            KBN_SAVE(tables, dir.str(), ctx());
            ::_exit(ui.messages.empty() ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(status, c.saved ? 0 : 1 << 8);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(st.st_gid, c.groupAfter);
        EXPECT_EQ(st.st_uid, c.saved ? kUser : 0u);
        EXPECT_EQ(file() == before, !c.saved);
        EXPECT_EQ(entries(), 1u);
    }
}
#endif

}  // namespace
}  // namespace kbnset::category
