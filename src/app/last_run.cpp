// The system menu's 「前回の結果(&L)」: the record of the window's last run that saved.
#include "app/last_run.hpp"

#include <charconv>
#include <exception>
#include <memory>
#include <utility>

#include "app/main_form.hpp"
#include "runtime/paths.hpp"
#include "runtime/reason.hpp"
#include "update/report_csv.hpp"

namespace kbnset::app {

namespace {

// More than any record of counts holds; a bigger file is not one that kbnset wrote.
constexpr std::size_t kCountsLimit = 65536;

constexpr char kNoRecord[] = "前回の結果は有りません";
constexpr char kUnreadable[] = "前回の結果を読み込めませんでした";
constexpr char kNotKept[] = "報告ファイルを残せませんでした";
constexpr char kCannotOpen[] = "報告ファイルを開けませんでした\n";
constexpr char kCannotOpenHint[] =
    "\n.csv のファイルを開くプログラムが無いときは、メモ帳などで開いてください";

bool parseNumber(std::string_view text, std::int32_t& value) {
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end && !text.empty();
}

std::string count(std::int32_t n) {
    return std::to_string(n) + " 件";
}

}  // namespace

bool worthKeeping(const update::RunReport& report) {
    for (const update::PassReport& p : report.passes)
        if (p.saved) return true;
    return false;
}

LastRun lastRunOf(const update::RunReport& report, std::string time, std::string dataDir) {
    LastRun run;
    run.time = std::move(time);
    run.dataDir = std::move(dataDir);
    for (const update::PassReport& p : report.passes) {
        run.passes.push_back(
            {p.fileRead.empty() ? p.referenceFile : p.fileRead, p.saved, p.saved ? p.filled : 0});
        if (p.saved) run.codesFixed += p.codesFixed;
    }
    run.stillEmpty = report.stillEmpty;
    return run;
}

std::string countsText(const LastRun& run) {
    std::string text = "time=" + run.time + "\ndataDir=" + run.dataDir + "\n";
    for (const LastRun::Pass& p : run.passes)
        text += "pass=" + std::string(p.saved ? "1," : "0,") + std::to_string(p.filled) + "," +
                p.referenceFile + "\n";
    return text + "codesFixed=" + std::to_string(run.codesFixed) +
           "\nstillEmpty=" + std::to_string(run.stillEmpty) + "\n";
}

std::optional<LastRun> parseCounts(std::string_view text) {
    LastRun run;
    int seen = 0;  // one bit per key other than pass
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // cut short
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        const std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "pass") {
            const std::size_t comma = value.find(',', 2);
            LastRun::Pass& p = run.passes.emplace_back();
            if (value.size() < 2 || (value[0] != '0' && value[0] != '1') || value[1] != ',' ||
                comma == std::string_view::npos ||
                !parseNumber(value.substr(2, comma - 2), p.filled))
                return std::nullopt;
            p.saved = value[0] == '1';
            p.referenceFile = value.substr(comma + 1);
            continue;
        }
        const std::string_view keys[] = {"time", "dataDir", "codesFixed", "stillEmpty"};
        int k = 0;
        while (k < 4 && keys[k] != key) ++k;
        if (k == 4 || (seen & (1 << k))) return std::nullopt;
        seen |= 1 << k;
        if (k == 0) run.time = value;
        if (k == 1) run.dataDir = value;
        if (k == 2 && !parseNumber(value, run.codesFixed)) return std::nullopt;
        if (k == 3 && !parseNumber(value, run.stillEmpty)) return std::nullopt;
    }
    if (seen != 0xF) return std::nullopt;
    return run;
}

std::string lastRunSummary(const LastRun& run) {
    std::string text =
        "前回の実行の結果です\n\nデータフォルダ: " + run.dataDir + "\n日時: " + run.time + "\n\n";
    for (const LastRun::Pass& p : run.passes)
        text += p.saved ? p.referenceFile + " から書き写した分類: " + count(p.filled) + "\n"
                        : p.referenceFile + ": その回は保存していません\n";
    text += "直した区分コード: " + count(run.codesFixed) + "\n分類が空のままの区分: ";
    return text + (run.stillEmpty < 0 ? "分かりません" : count(run.stillEmpty));
}

void MainForm::keepLastRun(const update::RunReport& report, std::string time) {
    LastRun run = lastRunOf(report, std::move(time), session_.DATA_DIR);
    unkept_.reset();
    std::string folder;
    try {
        folder = system_.userStateDirectory();
        // The counts go first and come back last: an older run's never stand beside this
        // run's report, whatever stops this half way.
        system_.removeFile(runtime::pathIn(folder, kLastCountsFile));
        runtime::writeWhole(
            system_, runtime::pathIn(folder, kLastReportFile),
            update::kByteOrderMark + update::reportHeader() + update::reportRows(report.changes));
        runtime::writeWhole(system_, runtime::pathIn(folder, kLastCountsFile), countsText(run));
    } catch (const std::exception&) {
        // Not a failure of the run, which saved: the box tells it when the user looks.
        keepFailure_ = kNotKept + runtime::reasonSuffix(std::current_exception());
        unkept_ = std::move(run);
        if (!folder.empty()) system_.removeFile(runtime::pathIn(folder, kLastReportFile));
    }
}

bool MainForm::lastRunAvailable() {
    if (closed_ || session_.running) return false;
    if (unkept_) return true;
    try {
        return system_.isOrdinaryFile(
            runtime::pathIn(system_.userStateDirectory(), kLastCountsFile));
    } catch (const std::exception&) {
        return false;
    }
}

void MainForm::onLastRunChosen() {
    if (closed_ || session_.running) return;
    if (unkept_) return view_.showMessage(lastRunSummary(*unkept_) + "\n\n" + keepFailure_);
    std::string counts, report;
    std::optional<LastRun> run;
    try {
        const std::string folder = system_.userStateDirectory();
        counts = runtime::pathIn(folder, kLastCountsFile);
        report = runtime::pathIn(folder, kLastReportFile);
        if (!system_.isOrdinaryFile(counts)) return view_.showMessage(kNoRecord);
        const std::optional<std::string> text = runtime::readSmall(system_, counts, kCountsLimit);
        if (text) run = parseCounts(*text);
    } catch (const std::exception&) {
        return view_.showMessage(kUnreadable + runtime::reasonSuffix(std::current_exception()));
    }
    if (!run) return view_.showMessage(std::string(kUnreadable) + "\n" + counts);
    const std::string summary = lastRunSummary(*run) + "\n\n報告ファイル\n" + report;
    bool there = false;
    try {
        there = system_.isOrdinaryFile(report);
    } catch (const std::exception&) {
        // Said as a report that is not there.
    }
    if (!there) return view_.showMessage(summary + "\nが有りません");
    if (!view_.confirm(summary + "\nを開きますか？")) return;
    if (!view_.openWithAssociatedProgram(report))
        view_.showMessage(kCannotOpen + report + kCannotOpenHint);
}

}  // namespace kbnset::app
