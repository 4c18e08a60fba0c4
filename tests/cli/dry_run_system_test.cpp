#include "cli/dry_run_system.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "runtime/error.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::cli {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

std::string readAll(runtime::InputFile& file) {
    std::string bytes;
    char buffer[3];  // small on purpose: the reads must add up across calls
    for (std::size_t n; (n = file.read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    return bytes;
}

std::string text(const fs::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

class DryRunSystemTest : public ::testing::Test {
  protected:
    DryRunSystemTest() {
        writeBytes(dir / "KUBUN.KMT", "old");
        real.changeDirectory(dir.str());
    }
    // What the save does: a temporary file beside the target, committed, then replaced.
    void save(std::string_view target, std::string_view bytes) {
        auto file = dry.createTemporary(target);
        file->write(bytes);
        file->commit();
        dry.replace(file->name(), target);
    }

    TempDir dir;
    runtime::System& real = runtime::nativeSystem();
    DryRunSystem dry{real};
};

// A saved file is read back under any spelling of its path; the disk keeps the old bytes
// and gains no file.
TEST_F(DryRunSystemTest, SavedBytesAreReadBackAndTheDiskIsUntouched) {
    fs::create_directories(dir / "sub");
    struct Case {
        const char* name;
        std::string target, readAs;
    };
    const Case cases[] = {
        {"relative", "KUBUN.KMT", text(dir / "KUBUN.KMT")},
        {"absolute", text(dir / "KUBUN.KMT"), "KUBUN.KMT"},
        {"dot segments", text(dir / "sub" / ".." / "KUBUN.KMT"), "./KUBUN.KMT"},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = "new " + std::to_string(++round);
        save(c.target, bytes);
        EXPECT_TRUE(dry.isOrdinaryFile(c.readAs));
        EXPECT_EQ(readAll(*dry.openRead(c.readAs)), bytes);
        ASSERT_NE(dry.saved(c.readAs), nullptr);
        EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), "old");
    }
    std::vector<fs::path> files(fs::directory_iterator(dir.path()), {});
    EXPECT_EQ(files.size(), 2U);  // KUBUN.KMT and sub
}

TEST_F(DryRunSystemTest, NewFileExistsOnlyInMemory) {
    EXPECT_FALSE(dry.isOrdinaryFile("NEW.KMT"));
    save("NEW.KMT", "bytes");
    EXPECT_TRUE(dry.isOrdinaryFile("NEW.KMT"));
    EXPECT_FALSE(fs::exists(dir / "NEW.KMT"));
    EXPECT_FALSE(real.isOrdinaryFile("NEW.KMT"));
}

// Files that no save touched come from the disk.
TEST_F(DryRunSystemTest, OtherFilesAreReadFromTheDisk) {
    writeBytes(dir / "E_KUBUN.KMT", "reference");
    save("KUBUN.KMT", "new");
    EXPECT_EQ(readAll(*dry.openRead("E_KUBUN.KMT")), "reference");
    EXPECT_FALSE(dry.isOrdinaryFile("MISSING.KMT"));
    EXPECT_THROW(dry.openRead("MISSING.KMT"), runtime::Error);
}

// A temporary file that is removed, or never committed, replaces nothing.
TEST_F(DryRunSystemTest, UnfinishedTemporaryFilesReplaceNothing) {
    auto removed = dry.createTemporary("KUBUN.KMT");
    removed->write("partial");
    removed->commit();
    dry.removeFile(removed->name());
    EXPECT_THROW(dry.replace(removed->name(), "KUBUN.KMT"), runtime::IoError);

    auto uncommitted = dry.createTemporary("KUBUN.KMT");
    uncommitted->write("partial");
    EXPECT_THROW(dry.replace(uncommitted->name(), "KUBUN.KMT"), runtime::IoError);

    EXPECT_EQ(dry.saved("KUBUN.KMT"), nullptr);
    EXPECT_EQ(readAll(*dry.openRead("KUBUN.KMT")), "old");
}

// What the real save would refuse, the dry run refuses too.
TEST_F(DryRunSystemTest, RefusesWhatTheRealSaveWould) {
    fs::create_directories(dir / "folder");
    EXPECT_THROW(save("folder", "x"), runtime::IoError);
    EXPECT_THROW(dry.createTemporary(text(dir / "nosuch" / "KUBUN.KMT")), runtime::IoError);

    fs::permissions(dir / "KUBUN.KMT",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_THROW(save("KUBUN.KMT", "new"), runtime::IoError);
    EXPECT_EQ(dry.saved("KUBUN.KMT"), nullptr);
}

TEST_F(DryRunSystemTest, RemoveFileNeverTouchesTheDisk) {
    dry.removeFile("KUBUN.KMT");
    dry.removeFile(text(dir / "KUBUN.KMT"));
    EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), "old");
}

}  // namespace
}  // namespace kbnset::cli
