// The system menu's 「元に戻す(&U)」: the window's way back from its last run.
#include <chrono>
#include <exception>
#include <memory>
#include <string>

#include "app/main_form.hpp"
#include "category/load.hpp"
#include "update/undo.hpp"

namespace kbnset::app {

namespace {

constexpr char kBusy[] = "他の備品区分機能設定が実行中のため、元に戻せません";
// Undo does not wait for another kbnset as a run does: the user can simply try again.
constexpr std::chrono::milliseconds kLockPatience{1000};

struct Examined {
    std::string path;
    update::UndoOutcome outcome;
};

Examined examine(runtime::System& system, const std::string& DATA_DIR) {
    Examined e;
    if (DATA_DIR.empty()) return e;
    try {
        e.path = update::categoryPath(system, DATA_DIR);
        e.outcome = update::examineUndo(system, e.path);
    } catch (const std::exception&) {
        e.outcome.status = update::UndoStatus::failed;
    }
    return e;
}

}  // namespace

void MainForm::onSystemMenuOpening() {
    const bool ready =
        !closed_ && !session_.running &&
        examine(system_, session_.DATA_DIR).outcome.status == update::UndoStatus::ready;
    view_.setUndoEnabled(ready);
    view_.setLastRunEnabled(lastRunAvailable());
}

void MainForm::onUndoChosen() {
    if (closed_ || session_.running) return;
    Examined e = examine(system_, session_.DATA_DIR);
    if (e.outcome.status != update::UndoStatus::ready) {
        view_.showMessage(update::undoRefusal(e.outcome.status));
        return;
    }
    if (!view_.confirm(update::undoQuestion(e.path, e.outcome.record))) return;
    update::UndoOutcome outcome;
    bool anotherRun = false;
    {
        // The pointer is back before any message shows.
        category::BusyPointer busy(view_);
        std::unique_ptr<runtime::FileLock> lock;
        try {
            lock = system_.lockFile(session_.DATA_DIR, category::kCategoryFile, kLockPatience);
        } catch (const std::exception&) {
            outcome.status = update::UndoStatus::failed;
        }
        anotherRun = outcome.status != update::UndoStatus::failed && !lock;
        if (lock) outcome = update::undo(system_, e.path);
    }
    if (anotherRun) {
        view_.showMessage(kBusy);
        return;
    }
    view_.showMessage(outcome.status == update::UndoStatus::done
                          ? update::undoDoneText(outcome.record)
                          : update::undoRefusal(outcome.status));
}

}  // namespace kbnset::app
