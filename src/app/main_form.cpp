#include "app/main_form.hpp"

#include <cstddef>
#include <utility>

#include "app/layout.hpp"
#include "category/load.hpp"
#include "runtime/clock.hpp"
#include "runtime/error.hpp"
#include "update/data_directory.hpp"

namespace kbnset::app {

namespace {

// The folder of a path: everything before its last '\', a bare drive ("E:") as that drive's
// root, since "E:" alone would mean the drive's current folder. Empty when there is no folder.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return {};
    std::string folder = path.substr(0, slash);
    const bool bareDrive =
        folder.size() == 2 && folder[1] == ':' &&
        ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
    if (bareDrive) folder += '\\';
    return folder;
}

}  // namespace

MainForm::MainForm(View& view, runtime::System& system) : view_(view), system_(system) {}

void MainForm::onLoad() {
    view_.setOuterHeight(kCompactHeight);
    view_.setStatus("");
    session_.START_DIR = system_.currentDirectory();
    session_.DATA_DIR = update::readDataDirSetting(system_);
    update::SF_LOAD(session_.DATA_DIR, system_);
    setFileName(0, session_.DATA_DIR + kCategorySuffix);
}

void MainForm::onActivate() {
    if (activated_) return;
    activated_ = true;
    if (session_.DATA_DIR.empty()) view_.setEnabled(Control::B_START, false);
}

void MainForm::onLabel2MouseDown(int shift) {
    if (closed_ || shift != kShiftMask) return;
    view_.setOuterHeight(kExpandedHeight);
    for (Control c : {Control::F_NAME1, Control::B_SET0, Control::B_SET1, Control::Label1})
        view_.setVisible(c, true);
}

void MainForm::onSetClick(int index) {
    // A new path in the middle of a run would send one directory's table to another.
    if (closed_ || session_.running) return;
    try {
        view_.setDialogStart(F_NAME_[0]);
    } catch (const runtime::Error&) {
        // The dialog then opens wherever it opens by default.
    }
    view_.setDialogFilter(kDialogFilter);
    view_.showOpenDialog();
    std::string chosen = view_.dialogFileName();
    if (!chosen.empty()) setFileName(index, std::move(chosen));
    deriveDataDir();
    view_.setEnabled(Control::B_START, true);
}

void MainForm::onChangeClick() {
    if (closed_ || session_.running) return;
    std::string destination = F_NAME_[0];
    setFileName(0, F_NAME_[1]);
    setFileName(1, std::move(destination));
    deriveDataDir();
}

void MainForm::onStartClick() {
    if (closed_ || session_.running) return;
    // The time the undo record names too: the run's start.
    std::string time = runtime::localTimeText();
    // A close asked for during the run waited for the run to unwind, by return or by throw.
    try {
        const update::RunReport report = update::run(session_, F_NAME_[1], system_, view_);
        if (worthKeeping(report)) keepLastRun(report, std::move(time));
    } catch (...) {
        if (closePending_) closeNow();
        throw;
    }
    if (closePending_) closeNow();
}

void MainForm::onStopClick() {
    if (session_.running) session_.STOP_FLG = update::StopFlag::requested;
}

void MainForm::onCloseRequest() {
    if (closed_) return;
    if (session_.running) {
        // The merge returns after its current record and nothing is saved; onStartClick then
        // finishes the close, so no handler runs on a window that is gone.
        session_.STOP_FLG = update::StopFlag::requested;
        closePending_ = true;
        return;
    }
    closeNow();
}

void MainForm::setFileName(int index, std::string text) {
    view_.setCaption(F_NAME(index), text);
    F_NAME_[index == 0 ? 0 : 1] = std::move(text);
}

void MainForm::deriveDataDir() {
    if (F_NAME_[0].empty()) return;
    // The run rewrites KUBUN.KMT in the folder the window shows, whatever the file's name. A
    // text without a folder names none: better no DATA_DIR than one the window does not show.
    session_.DATA_DIR = folderOf(F_NAME_[0]);
}

void MainForm::closeNow() {
    closed_ = true;
    try {
        category::switchTo(system_, session_.START_DIR);
    } catch (const runtime::Error&) {
        // The start directory may be gone with its drive; the close goes ahead all the same.
    }
    view_.close();
}

}  // namespace kbnset::app
