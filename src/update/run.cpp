#include "update/run.hpp"

#include <chrono>
#include <exception>
#include <memory>

#include "category/load.hpp"
#include "category/save.hpp"
#include "runtime/clock.hpp"
#include "update/merge.hpp"
#include "update/undo.hpp"

namespace kbnset::update {

namespace {

// The category file could not even be opened to lock it; the load would fail alike.
constexpr char kLockFailed[] = "備品区分ファイルの読込に失敗しました(0)";

std::int32_t countStillEmpty(const category::Tables& tables) {
    std::int32_t empty = 0;
    for (std::int32_t i = 0; i < tables.KBN_CNT; ++i) {
        const category::KBN_REC& r = tables.KBN_TBL[static_cast<std::size_t>(i)];
        if (r.REC_KIND == category::RecordKind::ordinary && r.KBN_CLASS.empty()) ++empty;
    }
    return empty;
}

// How long one try for the category file's lock waits before the window gets to handle events.
constexpr std::chrono::milliseconds kLockPatience{200};

// Waits until no other kbnset works on the data folder's category file, telling the user so and
// leaving a stop possible. nullptr: stopped while waiting. A file that cannot be opened throws,
// and the pass does not start.
std::unique_ptr<runtime::FileLock> lockCategoryFile(Session& session, runtime::System& system,
                                                    UserInterface& ui, bool& stopped) {
    for (;;) {
        auto lock = system.lockFile(session.DATA_DIR, category::kCategoryFile, kLockPatience);
        if (lock) {
            if (!lock->held()) ui.lockUnavailable(session.DATA_DIR);
            return lock;
        }
        ui.waitingForAnotherRun();
        ui.yield();
        if (session.STOP_FLG != StopFlag::none) {
            stopped = true;
            return nullptr;
        }
    }
}

// Loads, merges and, unless a stop was asked for, saves. Returns whether the save was reached.
// The category file is locked from before its load to after the save: two runs never
// interleave their load, merge and save.
bool pass(Session& session, category::Selector selector, const std::string& sourcePath,
          runtime::System& system, UserInterface& ui, RunReport& report, RunKeeper& keeper) {
    using category::LoadResult;
    PassReport& p = report.passes.emplace_back();
    p.referenceFile = category::referenceFileName(selector, sourcePath);
    ui.passStarted(p.referenceFile);

    const category::Context ctx{system, ui};
    category::Tables& tables = session.tables;
    std::string fileRead;
    const LoadResult reference =
        category::REF_LOAD(tables, selector, session.START_DIR, sourcePath, ctx, &fileRead);
    if (reference != LoadResult::missing && fileRead != p.referenceFile) p.fileRead = fileRead;
    if (reference != LoadResult::loaded) return false;
    bool stopped = false;
    std::unique_ptr<runtime::FileLock> lock;
    try {
        lock = lockCategoryFile(session, system, ui, stopped);
    } catch (const std::exception&) {
        ui.showMessage(kLockFailed);
        report.stillEmpty = -1;
        return false;
    }
    if (stopped) {
        report.stopped = true;
        return false;
    }
    if (category::KBN_LOAD(tables, session.DATA_DIR, ctx) != LoadResult::loaded) {
        report.stillEmpty = -1;  // what the file holds now is not known
        return false;
    }
    // The file as loaded is what stays on disk unless the save below succeeds.
    report.stillEmpty = countStillEmpty(tables);

    p.filled = KBN_MERGE(tables, session.STOP_FLG, ui);
    p.merged = true;
    if (session.STOP_FLG != StopFlag::none) {
        report.stopped = true;
        return false;
    }
    category::Keeping keeping = keeper.forSave(tables.KBN_FILE.path);
    p.saved = category::KBN_SAVE(tables, session.DATA_DIR, ctx, &keeping);
    if (p.saved) keeper.saved(tables.KBN_FILE, keeping);
    p.saveReached = true;
    if (p.saved) report.stillEmpty = countStillEmpty(tables);
    return true;
}

RunReport runPasses(Session& session, const std::string& sourcePath, runtime::System& system,
                    UserInterface& ui) {
    using category::Selector;
    RunReport report;
    RunKeeper keeper(system, runtime::localTimeText());
    if (sourcePath.empty()) {
        pass(session, Selector::elementary, sourcePath, system, ui, report, keeper);
        // A stop ends the whole run: the junior-high pass must not start after it, also when
        // it came while the first pass loaded or saved (the yield turns it into STOP_FLG).
        if (!report.stopped) ui.yield();
        if (report.stopped || session.STOP_FLG != StopFlag::none) {
            report.stopped = true;
            return report;
        }
        if (!pass(session, Selector::juniorHigh, sourcePath, system, ui, report, keeper))
            return report;
    } else if (!pass(session, Selector::source, sourcePath, system, ui, report, keeper)) {
        return report;
    }
    report.completed = true;
    return report;
}

// Clears the session's running mark when the run ends, also when a step throws.
class ClearOnExit {
  public:
    explicit ClearOnExit(bool& flag) : flag_(flag) {}
    ~ClearOnExit() { flag_ = false; }
    ClearOnExit(const ClearOnExit&) = delete;
    ClearOnExit& operator=(const ClearOnExit&) = delete;

  private:
    bool& flag_;
};

}  // namespace

RunReport run(Session& session, const std::string& sourcePath, runtime::System& system,
              UserInterface& ui) {
    session.STOP_FLG = StopFlag::none;
    session.running = true;
    ClearOnExit idle(session.running);
    RunReport report = runPasses(session, sourcePath, system, ui);
    ui.runFinished(report);
    return report;
}

}  // namespace kbnset::update
