#include "update/run.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <new>
#include <string_view>

#include "category/load.hpp"
#include "category/save.hpp"
#include "runtime/clock.hpp"
#include "runtime/paths.hpp"
#include "update/merge.hpp"
#include "update/report.hpp"
#include "update/undo.hpp"

namespace kbnset::update {

namespace {

// The steps' user interface during a run: a stop that the front end turns into STOP_FLG at a
// yield reaches the loads too.
class StepUi final : public category::UserInterface {
  public:
    StepUi(update::UserInterface& ui, const StopFlag& STOP_FLG) : ui_(ui), STOP_FLG_(STOP_FLG) {}
    void showMessage(std::string_view text) override { ui_.showMessage(text); }
    void showFailure(std::string_view text, const category::Failure& failure) override {
        ui_.showFailure(text, failure);
    }
    void setBusy(bool busy) override { ui_.setBusy(busy); }
    bool stopRequested() override {
        ui_.yield();
        return STOP_FLG_ != StopFlag::none;
    }

  private:
    update::UserInterface& ui_;
    const StopFlag& STOP_FLG_;
};

// The memory ran out while the file `name` in `dir` was worked on: the pass fails with a word.
void showOutOfMemory(UserInterface& ui, std::string_view file, const std::string& dir,
                     const std::string& name) {
    ui.showFailure(category::tooBigText(file, name),
                   {runtime::pathIn(dir, name), 0, std::current_exception()});
}

// The category file could not even be opened to lock it; the load would fail alike.
constexpr char kLockFailed[] = "備品区分ファイルの読込に失敗しました(0)";

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
// `emptyNow`: the ordinary records whose classification is empty in KUBUN.KMT as this pass
// leaves it (unchanged when its category load fails).
bool pass(Session& session, category::Selector selector, const std::string& sourcePath,
          runtime::System& system, UserInterface& ui, RunReport& report,
          std::vector<std::int32_t>& emptyNow, std::vector<SavedChange>& changes,
          RunKeeper& keeper) {
    using category::LoadResult;
    PassReport& p = report.passes.emplace_back();
    p.referenceFile = category::referenceFileName(selector, sourcePath);
    ui.passStarted(p.referenceFile);

    StepUi stepUi(ui, session.STOP_FLG);
    const category::Context ctx{system, stepUi};
    category::Tables& tables = session.tables;
    std::string fileRead;
    const LoadResult reference =
        category::REF_LOAD(tables, selector, session.START_DIR, sourcePath, ctx, &fileRead);
    if (reference != LoadResult::missing && fileRead != p.referenceFile) p.fileRead = fileRead;
    if (reference == LoadResult::stopped) report.stopped = true;
    if (reference != LoadResult::loaded) return false;
    bool stopped = false;
    std::unique_ptr<runtime::FileLock> lock;
    try {
        lock = lockCategoryFile(session, system, ui, stopped);
    } catch (const std::exception&) {
        ui.showFailure(kLockFailed, {runtime::pathIn(session.DATA_DIR, category::kCategoryFile), 0,
                                     std::current_exception()});
        report.stillEmpty = -1;
        return false;
    }
    if (stopped) {
        report.stopped = true;
        return false;
    }
    const LoadResult category = category::KBN_LOAD(tables, session.DATA_DIR, ctx);
    if (category == LoadResult::stopped) {
        report.stopped = true;  // the file is as it was
        return false;
    }
    if (category != LoadResult::loaded) {
        report.stillEmpty = -1;  // what the file holds now is not known
        return false;
    }
    // The file as loaded is what stays on disk unless the save below succeeds.
    emptyNow = emptyRecords(tables);
    report.stillEmpty = static_cast<std::int32_t>(emptyNow.size());
    p.codesFixed = static_cast<std::int32_t>(
        std::count_if(tables.KBN_TBL.begin(), tables.KBN_TBL.begin() + tables.KBN_CNT,
                      [](const category::KBN_REC& r) { return !r.codeAsRead.empty(); }));

    try {
        p.filled = KBN_MERGE(tables, session.STOP_FLG, ui);
    } catch (const std::bad_alloc&) {
        // The reference names make the search; KUBUN.KMT stays as it was.
        showOutOfMemory(ui, "基準ファイル", session.START_DIR, fileRead);
        return false;
    }
    p.merged = true;
    if (session.STOP_FLG != StopFlag::none) {
        report.stopped = true;
        return false;
    }
    category::Keeping keeping = keeper.forSave(tables.KBN_FILE.path);
    p.saved = category::KBN_SAVE(tables, session.DATA_DIR, ctx, &keeping);
    if (p.saved) keeper.saved(tables.KBN_FILE, keeping);
    p.saveReached = true;
    if (p.saved) {
        // The save writes one record a line.
        for (std::int32_t i = 0; i < tables.KBN_CNT; ++i)
            tables.KBN_TBL[static_cast<std::size_t>(i)].line = i + 2;
        addSavedChanges(tables, emptyNow, static_cast<std::int32_t>(report.passes.size() - 1),
                        changes);
        emptyNow = emptyRecords(tables);
        report.stillEmpty = static_cast<std::int32_t>(emptyNow.size());
    }
    return true;
}

void runPasses(Session& session, const std::string& sourcePath, runtime::System& system,
               UserInterface& ui, RunReport& report, std::vector<std::int32_t>& emptyNow,
               std::vector<SavedChange>& changes, RunKeeper& keeper) try {
    using category::Selector;
    if (sourcePath.empty()) {
        pass(session, Selector::elementary, sourcePath, system, ui, report, emptyNow, changes,
             keeper);
        // A stop ends the whole run: the junior-high pass must not start after it, also when
        // it came while the first pass loaded or saved (the yield turns it into STOP_FLG).
        if (!report.stopped) ui.yield();
        if (report.stopped || session.STOP_FLG != StopFlag::none) {
            report.stopped = true;
            return;
        }
        if (!pass(session, Selector::juniorHigh, sourcePath, system, ui, report, emptyNow, changes,
                  keeper))
            return;
    } else if (!pass(session, Selector::source, sourcePath, system, ui, report, emptyNow, changes,
                     keeper)) {
        return;
    }
    report.completed = true;
} catch (const std::bad_alloc&) {
    // Beyond the loads and the merge, KUBUN.KMT's records are what takes the memory. A save
    // replaces the file whole or not at all, so nothing is lost.
    showOutOfMemory(ui, "備品区分ファイル", session.DATA_DIR, category::kCategoryFile);
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
    RunReport report;
    std::vector<std::int32_t> emptyNow;
    std::vector<SavedChange> changes;
    RunKeeper keeper(system, runtime::localTimeText());
    runPasses(session, sourcePath, system, ui, report, emptyNow, changes, keeper);
    if (session.recordChanges) try {
            // The reference table is not needed any more: its memory goes to the rows.
            category::Tables& tables = session.tables;
            // Moved out, so that the strings give their memory back (an assignment would keep it).
            for (std::int32_t i = 0; i < tables.REF_CNT; ++i)
                category::KBN_REC gone = std::move(tables.REF_TBL[static_cast<std::size_t>(i)]);
            tables.REF_CNT = 0;
            std::vector<std::string> referenceFiles;
            for (const PassReport& p : report.passes)
                referenceFiles.push_back(p.fileRead.empty() ? p.referenceFile : p.fileRead);
            if (report.stillEmpty < 0) emptyNow.clear();
            report.changes = rowsOf(tables, changes, emptyNow, session.DATA_DIR, referenceFiles);
        } catch (const std::bad_alloc&) {
            report.completed = false;
            showOutOfMemory(ui, "備品区分ファイル", session.DATA_DIR, category::kCategoryFile);
        }
    ui.runFinished(report);
    return report;
}

}  // namespace kbnset::update
