// Start-up of the main window: the settings store, ZORVEL.SEW and the first activation.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/fake_view.hpp"
#include "app/fixtures.hpp"
#include "app/main_form.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;
using app::Control;

constexpr char kRead1[] = "R-ZORVEL/SCHOOL/DIR_ME";
constexpr char kRead2[] = "ZORVEL/SCHOOL/DIR_ME";

// Folders of one test; "$DATA", "$OTHER" and "$MISSING" in a case stand for them.
struct Folders {
    TempDir tmp;
    fs::path start = tmp / "start";
    fs::path data = tmp / "data";
    Folders() {
        fs::create_directories(start);
        fs::create_directories(data);
        fs::current_path(start);
    }
    std::string expand(std::string text) const {
        const std::pair<std::string, std::string> names[] = {{"$DATA", utf8(data)},
                                                             {"$OTHER", utf8(tmp / "other")},
                                                             {"$MISSING", utf8(tmp / "missing")}};
        for (const auto& [token, value] : names)
            for (auto at = text.find(token); at != std::string::npos; at = text.find(token))
                text.replace(at, token.size(), value);
        return text;
    }
};

struct StartCase {
    const char* name;
    const char* rzorvel;  // nullptr: no value stored
    const char* zorvel;
    const char* sew;      // nullptr: no ZORVEL.SEW in $DATA
    const char* dataDir;  // DATA_DIR expected after load
    std::vector<std::string> reads;
    bool cwdInData;  // the current directory after load: $DATA, else the start folder
};

const char kEightItems[] = "\"一\",\"二\",\"三\",\"四\",\"五\",6,7,\"$OTHER\"\r\n";

const StartCase kStartCases[] = {
    {"no settings at all", nullptr, nullptr, nullptr, "", {kRead1, kRead2}, false},
    {"R-ZORVEL wins over ZORVEL", "$DATA", "$MISSING", nullptr, "$DATA", {kRead1}, true},
    {"empty R-ZORVEL counts as missing", "", "$DATA", nullptr, "$DATA", {kRead1, kRead2}, true},
    {"eighth item replaces the directory", "$DATA", nullptr, kEightItems, "$OTHER", {kRead1}, true},
    {"items on separate lines",
     "$DATA",
     nullptr,
     "\"一\"\r\n\"二\"\r\n\"三\"\r\n\"四\"\r\n\"五\"\r\n6\r\n7\r\n\"$OTHER\"\r\n",
     "$OTHER",
     {kRead1},
     true},
    {"seven items keep the store's value",
     "$DATA",
     nullptr,
     "\"一\",\"二\",\"三\",\"四\",\"五\",6,7\r\n",
     "$DATA",
     {kRead1},
     true},
    {"items after the eighth are ignored",
     "$DATA",
     nullptr,
     "\"一\",\"二\",\"三\",\"四\",\"五\",6,7,\"$OTHER\",\"九\",10\r\n\"x\"\r\n",
     "$OTHER",
     {kRead1},
     true},
    {"empty eighth item empties DATA_DIR",
     "$DATA",
     nullptr,
     "\"一\",\"二\",\"三\",\"四\",\"五\",6,7,\"\"\r\n",
     "",
     {kRead1},
     true},
    {"sixth item not a number",
     "$DATA",
     nullptr,
     "\"一\",\"二\",\"三\",\"四\",\"五\",\"six\",7,\"$OTHER\"\r\n",
     "$DATA",
     {kRead1},
     true},
    {"missing directory", "$MISSING", nullptr, nullptr, "$MISSING", {kRead1}, false},
};

TEST(StartupTest, FindsTheDataDirectory) {
    for (const auto& c : kStartCases) {
        SCOPED_TRACE(c.name);
        Folders f;
        SettingsSystem system;
        if (c.rzorvel) system.settings[kRead1] = f.expand(c.rzorvel);
        if (c.zorvel) system.settings[kRead2] = f.expand(c.zorvel);
        if (c.sew) writeBytes(f.data / "ZORVEL.SEW", cp932(f.expand(c.sew)));

        FakeView view;
        view.captions[Control::Label3] = "before";
        app::MainForm form(view, system);
        form.onLoad();

        const std::string dataDir = f.expand(c.dataDir);
        EXPECT_EQ(form.session().DATA_DIR, dataDir);
        EXPECT_EQ(view.caption(Control::F_NAME0), dataDir + "\\KUBUN.KMT");
        EXPECT_EQ(form.fileName(0), dataDir + "\\KUBUN.KMT");
        EXPECT_EQ(system.settingsRead, c.reads);
        EXPECT_TRUE(fs::equivalent(form.session().START_DIR, f.start));
        EXPECT_TRUE(fs::equivalent(fs::current_path(), c.cwdInData ? f.data : f.start));
        EXPECT_EQ(view.outerHeight, app::kCompactHeight);
        EXPECT_EQ(view.caption(Control::Label3), "");
        EXPECT_TRUE(view.messages.empty());

        form.onActivate();
        EXPECT_EQ(view.enabled[Control::B_START], !dataDir.empty());
        EXPECT_FALSE(view.visible[Control::F_NAME1]);
    }
}

#ifdef _WIN32
TEST(StartupTest, HiddenSettingsFileCountsAsAbsent) {
    Folders f;
    SettingsSystem system;
    system.settings[kRead1] = utf8(f.data);
    writeBytes(f.data / "ZORVEL.SEW", cp932(f.expand(kEightItems)));
    ASSERT_TRUE(SetFileAttributesW((f.data / "ZORVEL.SEW").c_str(), FILE_ATTRIBUTE_HIDDEN));

    FakeView view;
    app::MainForm form(view, system);
    form.onLoad();
    EXPECT_EQ(form.session().DATA_DIR, utf8(f.data));
}
#endif

TEST(StartupTest, OnlyTheFirstActivationDisablesStart) {
    Folders f;
    SettingsSystem system;
    FakeView view;
    app::MainForm form(view, system);
    form.onLoad();
    EXPECT_TRUE(view.enabled[Control::B_START]) << "disabled before the window was shown";

    form.onActivate();
    EXPECT_FALSE(view.enabled[Control::B_START]);

    // A cancelled browse enables it, with DATA_DIR still empty; a later activation (back
    // from the dialog or another program) must not disable it again.
    form.onSetClick(0);
    EXPECT_TRUE(view.enabled[Control::B_START]);
    EXPECT_EQ(form.session().DATA_DIR, "");
    form.onActivate();
    EXPECT_TRUE(view.enabled[Control::B_START]);
}

}  // namespace
}  // namespace kbnset::test
