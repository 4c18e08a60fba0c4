#include "cli/undo.hpp"

#include <chrono>
#include <exception>
#include <memory>
#include <string>

#include "cli/cli.hpp"
#include "update/data_directory.hpp"
#include "update/run.hpp"
#include "update/undo.hpp"

namespace kbnset::cli {

namespace {

void diagnose(Console& console, const std::string& text) {
    console.err("kbnset-cli: " + text + "\n");
}

// Waits, as a run does, until no other kbnset works on the category file; nullptr when
// stopped.
std::unique_ptr<runtime::FileLock> lockCategoryFile(runtime::System& system, const std::string& dir,
                                                    Console& console) {
    bool told = false;
    for (;;) {
        auto lock = system.lockFile(dir, "KUBUN.KMT", std::chrono::milliseconds(200));
        if (lock) return lock;
        if (!told) diagnose(console, update::kWaitingText);
        told = true;
        if (console.interrupted() != 0) return nullptr;
    }
}

}  // namespace

int runUndo(const Options& options, runtime::System& system, Console& console) {
    const std::string current = system.currentDirectory();
    const std::string dataDir = options.dataDir
                                    ? update::absoluteDirectory(current, *options.dataDir)
                                    : update::findDataDirectory(system);
    if (dataDir.empty()) {
        diagnose(console,
                 "データフォルダが分かりません。--data-dir で指定するか、R-ZORVEL の "
                 "SCHOOL / DIR_ME に設定してください");
        return kExitUsage;
    }
    update::UndoOutcome outcome;
    std::string path;
    try {
        path = update::categoryPath(system, dataDir);
        std::unique_ptr<runtime::FileLock> lock;
        if (!options.dryRun) {
            lock = lockCategoryFile(system, dataDir, console);
            if (!lock) {
                diagnose(console, "中断しました");
                return kExitInterrupted + console.interrupted();
            }
        }
        outcome = options.dryRun ? update::examineUndo(system, path) : update::undo(system, path);
    } catch (const std::exception&) {
        outcome.status = update::UndoStatus::failed;
        outcome.cause = std::current_exception();
    }
    switch (outcome.status) {
        case update::UndoStatus::done:
            console.out(update::undoDoneText(outcome.record) + "\n");
            return kExitOk;
        case update::UndoStatus::ready:
            console.out("備品区分ファイル " + path + " を " + outcome.record.time +
                        (outcome.record.undone ? " の実行の後に" : " の実行の前に") +
                        "戻せます（--dry-run のため何も変えていません）\n");
            return kExitOk;
        default:
            break;
    }
    std::string text = update::undoRefusal(outcome.status);
    if (outcome.cause) {
        try {
            std::rethrow_exception(outcome.cause);
        } catch (const std::exception& e) {
            text += std::string(": ") + e.what();
        }
    }
    diagnose(console, text);
    return kExitFailed;
}

}  // namespace kbnset::cli
