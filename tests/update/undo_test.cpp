#include "update/undo.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "runtime/forwarding_system.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::update {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

category::Fingerprint fingerprint(const std::string& bytes) {
    category::FingerprintBuilder builder;
    builder.add(bytes.data(), bytes.size());
    return builder.result();
}

TEST(UndoRecord, OnlyAWholeRecordIsOne) {
    const UndoRecord record{"2026/12/07 17:31:26", true, fingerprint("after"), fingerprint("")};
    const std::string text = recordText(record);
    auto without = [&](const std::string& part) {
        std::string t = text;
        return t.erase(t.find(part), part.size());
    };
    auto with = [&](const std::string& part, const std::string& by) {
        std::string t = text;
        return t.replace(t.find(part), part.size(), by);
    };
    const std::string broken[] = {
        "",
        without("state=undone\r\n"),
        with("state=undone", "state=yes"),
        with("current=5,", "current=5,0"),  // 33 hex digits
        text + "extra=1\r\n",
    };
    for (const std::string& t : broken) EXPECT_EQ(parseRecord(t), std::nullopt) << t;
}

// The files as kbnset left them: KUBUN.KMT holds what the run saved, the kept file what was
// there before; then one thing differs.
TEST(Undo, OnlyWhatKbnsetLeftIsSwapped) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& dir)> meanwhile;
        UndoStatus status;
    };
    const Case cases[] = {
        {"as left", [](const fs::path&) {}, UndoStatus::done},
        {"no record", [](const fs::path& d) { fs::remove(d / "KUBUN.KMT.kbnset-undo.ini"); },
         UndoStatus::nothing},
        {"no kept file", [](const fs::path& d) { fs::remove(d / "KUBUN.KMT.kbnset-undo"); },
         UndoStatus::nothing},
        {"KUBUN.KMT edited", [](const fs::path& d) { writeBytes(d / "KUBUN.KMT", "saveD"); },
         UndoStatus::changed},
        {"KUBUN.KMT removed", [](const fs::path& d) { fs::remove(d / "KUBUN.KMT"); },
         UndoStatus::changed},
        {"kept file edited",
         [](const fs::path& d) { writeBytes(d / "KUBUN.KMT.kbnset-undo", "x"); },
         UndoStatus::keptChanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = test::utf8Of(dir / "KUBUN.KMT");
        writeBytes(dir / "KUBUN.KMT", "saved");
        writeBytes(dir / "KUBUN.KMT.kbnset-undo", "before");
        const UndoRecord record{"2026/12/07 17:31:26", false, fingerprint("saved"),
                                fingerprint("before")};
        writeBytes(dir / "KUBUN.KMT.kbnset-undo.ini", recordText(record));
        c.meanwhile(dir.path());
        const std::string kubun = fs::exists(dir / "KUBUN.KMT") ? readBytes(dir / "KUBUN.KMT") : "";

        const UndoOutcome outcome = undo(runtime::nativeSystem(), path);
        EXPECT_EQ(outcome.status, c.status);
        if (c.status != UndoStatus::done) {
            if (!kubun.empty()) {
                EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), kubun);
            }
            continue;
        }
        EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), "before");
        EXPECT_EQ(readBytes(dir / "KUBUN.KMT.kbnset-undo"), "saved");
    }
}

// Another program writes KUBUN.KMT between the look and the swap: the swap is taken back.
TEST(Undo, AWriteJustBeforeTheSwapIsNotUndone) {
    struct WritesFirst : runtime::ForwardingSystem {
        using ForwardingSystem::ForwardingSystem;
        void exchange(std::string_view first, std::string_view second) override {
            if (!written) writeBytes(test::pathOf(first), "theirs");
            written = true;
            ForwardingSystem::exchange(first, second);
        }
        bool written = false;
    } system(runtime::nativeSystem());
    test::TempDir dir;
    writeBytes(dir / "KUBUN.KMT", "saved");
    writeBytes(dir / "KUBUN.KMT.kbnset-undo", "before");
    writeBytes(dir / "KUBUN.KMT.kbnset-undo.ini",
               recordText({"t", false, fingerprint("saved"), fingerprint("before")}));
    EXPECT_EQ(undo(system, test::utf8Of(dir / "KUBUN.KMT")).status, UndoStatus::changed);
    EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), "theirs");
    EXPECT_EQ(readBytes(dir / "KUBUN.KMT.kbnset-undo"), "before");
}

}  // namespace
}  // namespace kbnset::update
