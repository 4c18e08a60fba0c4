#include "update/run.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>

#include "category/load.hpp"
#include "category/save.hpp"
#include "update/merge.hpp"
#include "update/report.hpp"

namespace kbnset::update {

namespace {

// How long one try for the data folder's lock waits before the window gets to handle events.
constexpr std::chrono::milliseconds kLockPatience{200};

// Waits until no other kbnset works on the data folder, telling the user so and leaving a
// stop possible. nullptr: stopped while waiting, or a folder that cannot be opened, which the
// category load then reports.
std::unique_ptr<runtime::FolderLock> lockDataFolder(Session& session, runtime::System& system,
                                                    UserInterface& ui, bool& stopped) {
    try {
        for (;;) {
            auto lock = system.lockFolder(session.DATA_DIR, category::kCategoryFile, kLockPatience);
            if (lock) return lock;
            ui.waitingForAnotherRun();
            ui.yield();
            if (session.STOP_FLG != StopFlag::none) {
                stopped = true;
                return nullptr;
            }
        }
    } catch (const std::exception&) {
        return nullptr;
    }
}

// Loads, merges and, unless a stop was asked for, saves. Returns whether the save was reached.
// The data folder is locked from before the category load to after the save: two runs never
// interleave their load, merge and save.
// `emptyNow`: the ordinary records whose classification is empty in KUBUN.KMT as this pass
// leaves it (unchanged when its category load fails).
bool pass(Session& session, category::Selector selector, const std::string& sourcePath,
          runtime::System& system, UserInterface& ui, RunReport& report,
          std::vector<std::int32_t>& emptyNow) {
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
    const std::unique_ptr<runtime::FolderLock> lock = lockDataFolder(session, system, ui, stopped);
    if (stopped) {
        report.stopped = true;
        return false;
    }
    if (category::KBN_LOAD(tables, session.DATA_DIR, ctx) != LoadResult::loaded) {
        report.stillEmpty = -1;  // what the file holds now is not known
        return false;
    }
    // The file as loaded is what stays on disk unless the save below succeeds.
    emptyNow = emptyRecords(tables);
    report.stillEmpty = static_cast<std::int32_t>(emptyNow.size());
    p.codesFixed = static_cast<std::int32_t>(
        std::count_if(tables.KBN_TBL.begin(), tables.KBN_TBL.begin() + tables.KBN_CNT,
                      [](const category::KBN_REC& r) { return !r.codeAsRead.empty(); }));

    p.filled = KBN_MERGE(tables, session.STOP_FLG, ui);
    p.merged = true;
    if (session.STOP_FLG != StopFlag::none) {
        report.stopped = true;
        return false;
    }
    p.saved = category::KBN_SAVE(tables, session.DATA_DIR, ctx);
    p.saveReached = true;
    if (p.saved) {
        // The save writes one record a line.
        for (std::int32_t i = 0; i < tables.KBN_CNT; ++i)
            tables.KBN_TBL[static_cast<std::size_t>(i)].line = i + 2;
        addSavedChanges(tables, emptyNow, session.DATA_DIR,
                        p.fileRead.empty() ? p.referenceFile : p.fileRead, report.changes);
        emptyNow = emptyRecords(tables);
        report.stillEmpty = static_cast<std::int32_t>(emptyNow.size());
    }
    return true;
}

void runPasses(Session& session, const std::string& sourcePath, runtime::System& system,
               UserInterface& ui, RunReport& report, std::vector<std::int32_t>& emptyNow) {
    using category::Selector;
    if (sourcePath.empty()) {
        pass(session, Selector::elementary, sourcePath, system, ui, report, emptyNow);
        // A stop ends the whole run: the junior-high pass must not start after it, also when
        // it came while the first pass loaded or saved (the yield turns it into STOP_FLG).
        if (!report.stopped) ui.yield();
        if (report.stopped || session.STOP_FLG != StopFlag::none) {
            report.stopped = true;
            return;
        }
        if (!pass(session, Selector::juniorHigh, sourcePath, system, ui, report, emptyNow)) return;
    } else if (!pass(session, Selector::source, sourcePath, system, ui, report, emptyNow)) {
        return;
    }
    report.completed = true;
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
    runPasses(session, sourcePath, system, ui, report, emptyNow);
    if (report.stillEmpty >= 0)
        addStillEmpty(session.tables, emptyNow, session.DATA_DIR, report.changes);
    ui.runFinished(report);
    return report;
}

}  // namespace kbnset::update
