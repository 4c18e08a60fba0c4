// Start-up of the main window (the settings store, ZORVEL.SEW, the first activation) and the
// expansion of the source row.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "app/fake_view.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;
using app::Control;

TEST(MainForm, StartUpFindsTheDataDirectory) {
    struct Case {
        const char* name;
        // DIR_ME under R-ZORVEL and ZORVEL, nullptr when not stored; "$DATA", "$OTHER" and
        // "$MISSING" stand for folders of the test (the last two are not there).
        const char* rzorvel;
        const char* zorvel;
        const char* sew;      // ZORVEL.SEW in $DATA; nullptr: none
        bool hidden;          // ZORVEL.SEW hidden (Windows only)
        const char* dataDir;  // DATA_DIR after the load
    };
    const char* const eight = "\"一\",\"二\",\"三\",\"四\",\"五\",6,7,\"$OTHER\"\r\n";
    // clang-format off
    const Case cases[] = {
        {"no settings at all", nullptr, nullptr, nullptr, false, ""},
        {"R-ZORVEL wins over ZORVEL", "$DATA", "$MISSING", nullptr, false, "$DATA"},
        {"empty R-ZORVEL counts as none", "", "$DATA", nullptr, false, "$DATA"},
        {"eight items: the eighth is DATA_DIR", "$DATA", nullptr, eight, false, "$OTHER"},
        {"seven items keep the store's value", "$DATA", nullptr,
         "\"一\",\"二\",\"三\",\"四\",\"五\",6,7\r\n", false, "$DATA"},
        {"items after the eighth are ignored", "$DATA", nullptr,
         "\"一\",\"二\",\"三\",\"四\",\"五\",6,7,\"$OTHER\",\"九\",10\r\n\"x\"\r\n", false, "$OTHER"},
        {"an empty eighth item empties DATA_DIR", "$DATA", nullptr,
         "\"一\",\"二\",\"三\",\"四\",\"五\",6,7,\"\"\r\n", false, ""},
        {"a hidden ZORVEL.SEW counts as none", "$DATA", nullptr, eight, true, "$DATA"},
        {"missing directory", "$MISSING", nullptr, nullptr, false, "$MISSING"},
        // Relative folders are taken from where they were found, once.
        {"relative store value", "../data", nullptr, nullptr, false, "$DATA"},
        {"relative eighth item", "$DATA", nullptr,
         "\"一\",\"二\",\"三\",\"四\",\"五\",6,7,\"../other\"\r\n", false, "$OTHER"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
#ifndef _WIN32
        if (c.hidden) continue;
#endif
        Window w;
        auto expand = [&](std::string text) {
            const std::pair<std::string, fs::path> folders[] = {
                {"$DATA", w.data}, {"$OTHER", w.tmp / "other"}, {"$MISSING", w.tmp / "missing"}};
            for (const auto& [token, dir] : folders)
                for (auto at = text.find(token); at != std::string::npos; at = text.find(token))
                    text.replace(at, token.size(), utf8(dir));
            return text;
        };
        if (c.rzorvel) w.system.settings[kDirMe] = expand(c.rzorvel);
        if (c.zorvel) w.system.settings["ZORVEL/SCHOOL/DIR_ME"] = expand(c.zorvel);
        if (c.sew) writeBytes(w.data / "ZORVEL.SEW", cp932(expand(c.sew)));
#ifdef _WIN32
        if (c.hidden) {
            ASSERT_TRUE(SetFileAttributesW((w.data / "ZORVEL.SEW").c_str(), FILE_ATTRIBUTE_HIDDEN));
        }
#endif
        w.view.captions[Control::Label3] = "before";
        w.form.onLoad();

        const std::string dataDir = expand(c.dataDir);
        EXPECT_EQ(w.form.session().DATA_DIR, dataDir);
        EXPECT_EQ(w.view.captions[Control::F_NAME0], dataDir + "\\KUBUN.KMT");
        EXPECT_TRUE(fs::equivalent(w.form.session().START_DIR, w.start));
        EXPECT_EQ(w.view.outerHeight, app::kCompactHeight);
        EXPECT_EQ(w.view.captions[Control::Label3], "");
        EXPECT_TRUE(w.view.messages.empty());
        EXPECT_TRUE(w.view.enabled[Control::B_START]) << "disabled before the window was shown";

        // Only the first activation counts: later ones (back from the dialog or another
        // program) leave B_START as a browse has set it.
        w.form.onActivate();
        EXPECT_EQ(w.view.enabled[Control::B_START], !dataDir.empty());
        w.view.enabled[Control::B_START] = true;
        w.form.onActivate();
        EXPECT_TRUE(w.view.enabled[Control::B_START]);
    }
}

TEST(MainForm, OnlyShiftAloneExpands) {
    const std::pair<int, bool> cases[] = {{0, false}, {1, true},  {2, false}, {3, false},
                                          {4, false}, {5, false}, {6, false}, {7, false}};
    for (auto [shift, expands] : cases) {
        SCOPED_TRACE(shift);
        Window w;
        w.open("C:\\DATA");
        w.form.onLabel2MouseDown(shift);
        EXPECT_EQ(w.view.outerHeight, expands ? app::kExpandedHeight : app::kCompactHeight);
        for (Control c : {Control::Label1, Control::F_NAME1, Control::B_SET1})
            EXPECT_EQ(w.view.visible[c], expands);
        EXPECT_TRUE(w.view.visible[Control::B_SET0]);
    }
}

}  // namespace
}  // namespace kbnset::test
