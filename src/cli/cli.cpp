#include "cli/cli.hpp"

#include <algorithm>
#include <exception>
#include <optional>

#include "cli/dry_run_system.hpp"
#include "cli/options.hpp"
#include "cli/undo.hpp"
#include "runtime/console.hpp"
#include "runtime/error.hpp"
#include "runtime/paths.hpp"
#include "runtime/reason.hpp"
#include "update/data_directory.hpp"
#include "update/report_csv.hpp"

namespace kbnset::cli {

namespace {

constexpr std::string_view kPrefix = "kbnset-cli: ";

void diagnose(Console& console, std::string_view text) {
    console.err(std::string(kPrefix) + std::string(text) + "\n");
}

// A folder whose name is longer than the system takes could be neither opened nor made
// current; the steps would only say that a file is missing or unreadable.
bool tooLong(Console& console, std::string_view what, const std::string& dir) {
    constexpr std::string_view unit = runtime::kPathLengthUnit;
    const std::size_t length = runtime::pathLength(dir);
    if (length <= runtime::kDirectoryLimit) return false;
    diagnose(console, std::string(what) + "のパスが長すぎます（" + std::to_string(length) +
                          std::string(unit) + "、このシステムの上限は " +
                          std::to_string(runtime::kDirectoryLimit) + std::string(unit) +
                          "）: " + dir);
    return true;
}

// The report after the run: on standard output as the console writes text, or into its file.
// Returns false when the file could not be written, which has been told.
bool writeReport(const Options& options, const std::string& path, const update::RunReport& report,
                 Console& console) {
    const std::string rows = update::reportRows(report.changes);
    if (path == "-") {
        console.out(update::reportHeader() + rows);
        return true;
    }
    try {
        runtime::writeReportFile(path, options.reportAppend, [&](bool empty) {
            return options.reportAppend && !empty
                       ? rows
                       : update::kByteOrderMark + update::reportHeader() + rows;
        });
        return true;
    } catch (const std::exception&) {
        diagnose(console, "報告ファイルに書き込めませんでした: " + path +
                              runtime::reasonSuffix(std::current_exception()));
        return false;
    }
}

int run(const Options& options, runtime::System& system, Console& console) {
    update::Session session;
    session.recordChanges = options.report.has_value();
    // START_DIR first: finding the data directory switches the current directory.
    const std::string current = system.currentDirectory();
    session.START_DIR =
        options.startDir ? update::absoluteDirectory(current, *options.startDir) : current;
    session.DATA_DIR = options.dataDir ? update::absoluteDirectory(current, *options.dataDir)
                                       : update::findDataDirectory(system);
    if (tooLong(console, options.startDir ? "--start-dir のフォルダ" : "現在のフォルダ",
                session.START_DIR))
        return kExitUsage;
    if (!system.isDirectory(session.START_DIR)) {
        diagnose(console, "--start-dir のフォルダが有りません: " + session.START_DIR);
        return kExitUsage;
    }
    if (session.DATA_DIR.empty()) {
        diagnose(console,
                 "データフォルダが分かりません。--data-dir で指定するか、R-ZORVEL の "
                 "SCHOOL / DIR_ME に設定してください");
        return kExitUsage;
    }
    if (tooLong(console, options.dataDir ? "--data-dir のフォルダ" : "データフォルダ",
                session.DATA_DIR))
        return kExitUsage;
    // Typed on the command line: a slip there is the user's to correct, not a file to stand
    // in for (the window's picked file that vanished meanwhile still gives way).
    if (options.dataDir && !system.isDirectory(session.DATA_DIR)) {
        diagnose(console, "--data-dir のフォルダが有りません: " + session.DATA_DIR);
        return kExitUsage;
    }
    if (!options.source.empty()) {
        const std::string source = update::absoluteDirectory(session.START_DIR, options.source);
        bool there = true;
        try {
            there = system.isOrdinaryFile(source);
        } catch (const runtime::Error&) {
            // A look-up that fails is the load's to report, as a read failure.
        }
        if (!there) {
            diagnose(console, "--source のファイルが有りません: " + source);
            return kExitUsage;
        }
    }
    std::string reportPath;
    if (options.report && *options.report != "-") {
        // Taken from where the program started: the run switches the current directory.
        reportPath = update::absoluteDirectory(current, *options.report);
        const std::string folder = runtime::utf8Of(runtime::pathOf(reportPath).parent_path());
        if (!system.isDirectory(folder)) {
            diagnose(console, "--report のフォルダが有りません: " + folder);
            return kExitUsage;
        }
    } else if (options.report) {
        reportPath = "-";
    }
    // The report alone on standard output, so that it can be piped on.
    auto say = [&](const std::string& text) {
        if (reportPath == "-")
            console.err(text);
        else
            console.out(text);
    };

    std::optional<DryRunSystem> dryRun;
    if (options.dryRun) dryRun.emplace(system);
    runtime::System& used = dryRun ? static_cast<runtime::System&>(*dryRun) : system;

    ConsoleUserInterface ui(console, session.STOP_FLG, session.DATA_DIR, options.noWait);
    update::RunReport report;
    try {
        report = update::run(session, options.source, used, ui);
    } catch (const std::exception& e) {
        // Only what the steps leave unhandled, such as a START_DIR that vanished meanwhile.
        ui.finish();
        diagnose(console, e.what());
        const int signal = console.interrupted();
        return signal != 0 ? kExitInterrupted + signal : kExitFailed;
    }
    ui.finish();
    say(summary(report, options.dryRun, ui.passMessages(), ui.foundBusy()));
    // A dry run that could not ask every question of the save must not pass for a clean one.
    const std::vector<std::string> unknown =
        dryRun ? dryRun->unpredictable() : std::vector<std::string>{};
    for (const std::string& path : unknown)
        say(path + ": 保存できるか確かめられません（実際の保存は失敗することがあります）\n");
    if (report.completed) say(std::string(update::kCompletionText) + "\n");
    const bool reported = reportPath.empty() || writeReport(options, reportPath, report, console);
    if (ui.foundBusy()) {
        diagnose(console,
                 "他の備品区分機能設定がデータフォルダを使っています: " + session.DATA_DIR);
        return kExitFailed;
    }
    // A stop that came after the final save changes nothing: the run is complete.
    const int signal = report.completed ? 0 : console.interrupted();
    if (signal != 0) {
        diagnose(console, "中断しました");
        return kExitInterrupted + signal;
    }
    // A pass that could not load or save has told the user why; the run still failed.
    const bool allSaved = std::ranges::all_of(
        report.passes, [](const update::PassReport& p) { return p.merged && p.saved; });
    // 0 promises that the save succeeds (or would): a batch that gates the real run on a dry
    // run must not go on from a guess.
    return report.completed && allSaved && reported && unknown.empty() ? kExitOk : kExitFailed;
}

// Why a pass did not reach the merge, from the first message it showed.
std::string notMerged(std::string_view message, bool busy, bool stopped) {
    const bool missing = message.ends_with("が有りません");
    if (message.starts_with("備品区分ファイル"))
        return missing ? "備品区分ファイル KUBUN.KMT が無いため処理していません"
                       : "備品区分ファイル KUBUN.KMT を読み込めなかったため処理していません";
    if (message.starts_with("基準ファイル"))
        return missing ? "基準ファイルが無いため処理していません"
                       : "基準ファイルを読み込めなかったため処理していません";
    if (busy) return "他の備品区分機能設定がデータフォルダを使っているため処理していません";
    if (stopped) return "中断したため処理していません";
    return "読み込めなかったため処理していません";
}

}  // namespace

// What each pass did to KUBUN.KMT, and what the file holds at the end: a fill that was not
// saved is not reported as done.
std::string summary(const update::RunReport& report, bool dryRun,
                    const std::vector<std::string>& passMessages, bool busy) {
    std::string text;
    for (std::size_t i = 0; i < report.passes.size(); ++i) {
        const update::PassReport& pass = report.passes[i];
        const std::string filled = std::to_string(pass.filled);
        const std::string codes = std::to_string(pass.codesFixed);
        // The file that was read, which may be the stand-in KUBUN.KMT of the start folder.
        text += pass.fileRead.empty() ? pass.referenceFile
                                      : pass.fileRead + "（" + pass.referenceFile + " の代わり）";
        text += ": ";
        if (!pass.merged)
            text +=
                notMerged(i < passMessages.size() ? passMessages[i] : "", busy, report.stopped) +
                "\n";
        else if (!pass.saveReached)
            text += "中断したため保存していません（分類を設定できた区分 " + filled + " 件）\n";
        else if (!pass.saved)
            text += std::string(dryRun ? "保存できないため" : "保存に失敗したため") +
                    "分類を設定していません（設定できた区分 " + filled + " 件）\n";
        else if (dryRun)
            text += "分類を設定する区分 " + filled + " 件、区分コードを直す区分 " + codes +
                    " 件（--dry-run のため保存していません）\n";
        else
            text +=
                "分類を設定した区分 " + filled + " 件、区分コードを直した区分 " + codes + " 件\n";
    }
    if (report.stillEmpty >= 0)
        text += "分類が空のままの区分: " + std::to_string(report.stillEmpty) + " 件\n";
    return text;
}

int runCli(const std::vector<std::string>& args, runtime::System& system, Console& console) {
    int status = kExitFailed;
    try {
        Options options = parseArguments(args);
        if (options.help) {
            console.out(usageText());
            status = kExitOk;
        } else if (options.version) {
            console.out("kbnset-cli " KBNSET_VERSION "\n");
            status = kExitOk;
        } else if (options.undo) {
            status = runUndo(options, system, console);
        } else {
            status = run(options, system, console);
        }
    } catch (const UsageError& e) {
        diagnose(console, e.what());
        diagnose(console, "使い方は kbnset-cli --help で表示します");
        status = kExitUsage;
    } catch (const std::exception& e) {
        diagnose(console, e.what());
        status = kExitFailed;
    }
    // Told after the work, which is done: a batch must not take the lost summary for success.
    if (const int code = console.outError(); code != 0) {
        diagnose(console, "標準出力に書き込めませんでした" +
                              runtime::reasonSuffix(std::make_exception_ptr(
                                  runtime::IoError("cannot write", "standard output", code))));
        if (status == kExitOk) status = kExitFailed;
    }
    return status;
}

}  // namespace kbnset::cli
