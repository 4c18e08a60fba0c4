#include "update/run.hpp"

#include "category/save.hpp"
#include "update/merge.hpp"

namespace kbnset::update {

namespace {

std::int32_t countStillEmpty(const category::Tables& tables) {
    std::int32_t empty = 0;
    for (std::int32_t i = 0; i < tables.KBN_CNT; ++i) {
        const category::KBN_REC& r = tables.KBN_TBL[static_cast<std::size_t>(i)];
        if (r.REC_KIND == category::kOrdinaryRecord && r.KBN_CLASS.empty()) ++empty;
    }
    return empty;
}

// Loads, merges and, unless a stop was asked for, saves. Returns whether the save was reached.
bool pass(Session& session, std::int16_t selector, const std::string& sourcePath,
          category::Context ctx, RunReport& report) {
    PassReport& p = report.passes.emplace_back();
    p.referenceFile = selector == 0   ? category::kElementaryFile
                      : selector == 1 ? category::kJuniorHighFile
                                      : sourcePath;
    ctx.ui.passStarted(p.referenceFile);

    category::Tables& tables = session.tables;
    if (category::REF_LOAD(tables, selector, session.START_DIR, sourcePath, ctx) !=
        category::kLoaded)
        return false;
    if (category::KBN_LOAD(tables, session.DATA_DIR, ctx) != category::kLoaded) return false;

    p.filled = KBN_MERGE(tables, session.STOP_FLG, ctx.ui);
    p.merged = true;
    report.stillEmpty = countStillEmpty(tables);
    if (session.STOP_FLG != 0) {
        report.stopped = true;
        return false;
    }
    category::KBN_SAVE(tables, session.DATA_DIR, ctx);
    p.saveReached = true;
    return true;
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

RunReport run(Session& session, const std::string& sourcePath, category::Context ctx) {
    RunReport report;
    session.STOP_FLG = 0;
    session.running = true;
    ClearOnExit idle(session.running);

    if (sourcePath.empty()) {
        pass(session, 0, sourcePath, ctx, report);
        // A stop ends the whole run: the junior-high pass must not start after it.
        if (report.stopped) return report;
        if (!pass(session, 1, sourcePath, ctx, report)) return report;
    } else if (!pass(session, 2, sourcePath, ctx, report)) {
        return report;
    }
    ctx.ui.setStatus(kCompletionText);
    report.completed = true;
    return report;
}

}  // namespace kbnset::update
