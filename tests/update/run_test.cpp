// A stop acts wherever the run is, and running out of memory is a message that names the file.
#include "update/run.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "runtime/forwarding_system.hpp"
#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::update {
namespace {

// The real files, but reading `file` runs out of memory.
class StarvedSystem final : public runtime::ForwardingSystem {
  public:
    using ForwardingSystem::ForwardingSystem;
    std::unique_ptr<runtime::InputFile> openRead(std::string_view name) override {
        auto file = ForwardingSystem::openRead(name);
        if (test::utf8Of(test::pathOf(name).filename()) != file_) return file;
        struct Starved final : runtime::InputFile {
            std::size_t read(char*, std::size_t) override { throw std::bad_alloc(); }
        };
        return std::make_unique<Starved>();
    }
    std::string file_;
};

TEST(Run, StopsInEveryStepAndSaysWhenMemoryRunsOut) {
    const std::string longName(4000, 'x');
    std::vector<test::Rec> many(600, test::Rec{.name = "机"}), names;
    for (int i = 0; i < 20; ++i)
        names.push_back({.name = std::to_string(i) + longName, .cls = "c"});
    const std::vector<test::Rec> nursing{{.name = "養護" + longName}};
    struct Case {
        const char* what;
        std::vector<test::Rec> reference, category;
        int stopAt = 0;         // the yield that asks to stop; 0: none
        bool starveAt = false;  // that yield runs out of memory instead
        std::string starvedFile{};
        std::string message{};
    };
    const std::string tooBigRef = "基準ファイル（E_KUBUN.KMT）が大きすぎてメモリが足りません";
    const Case cases[] = {
        {"stop in the reference load", many, many, 1},
        {"stop in the category load", {{.name = "机"}}, many, 1},
        {"stop while the search is built", names, nursing, 1},
        {"no memory in the reference load", many, many, 0, false, "E_KUBUN.KMT", tooBigRef},
        {"no memory in the category load", many, many, 0, false, "KUBUN.KMT",
         "備品区分ファイル（KUBUN.KMT）が大きすぎてメモリが足りません"},
        {"no memory while the search is built", names, nursing, 1, true, "", tooBigRef},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string before = test::kmt(c.category);
        test::writeBytes(dir / "KUBUN.KMT", before);
        test::writeBytes(dir / "E_KUBUN.KMT", test::kmt(c.reference));
        StarvedSystem system(runtime::nativeSystem());
        system.file_ = c.starvedFile;
        Session session;
        session.START_DIR = session.DATA_DIR = dir.str();
        test::RecordingUi ui;
        ui.onYield = [&](int n) {
            if (n != c.stopAt) return;
            if (c.starveAt) throw std::bad_alloc();
            session.STOP_FLG = StopFlag::requested;
        };
        const RunReport report = run(session, "E_KUBUN.KMT", system, ui);
        EXPECT_FALSE(report.completed);
        EXPECT_EQ(report.stopped, c.message.empty());
        EXPECT_TRUE(ui.progressed.empty());  // it ended inside the step
        EXPECT_EQ(ui.messages, c.message.empty() ? std::vector<std::string>{}
                                                 : std::vector<std::string>{c.message});
        if (!c.message.empty()) {
            ASSERT_EQ(ui.failures.size(), 1u);
            EXPECT_THROW(std::rethrow_exception(ui.failures[0].cause), std::bad_alloc);
        }
        EXPECT_EQ(test::readBytes(dir / "KUBUN.KMT"), before);
    }
}

}  // namespace
}  // namespace kbnset::update
