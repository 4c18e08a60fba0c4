#include "cli/cli.hpp"

#include <algorithm>
#include <exception>
#include <optional>

#include "cli/dry_run_system.hpp"
#include "cli/options.hpp"
#include "cli/undo.hpp"
#include "runtime/paths.hpp"
#include "update/data_directory.hpp"

namespace kbnset::cli {

namespace {

constexpr std::string_view kPrefix = "kbnset-cli: ";

void diagnose(Console& console, std::string_view text) {
    console.err(std::string(kPrefix) + std::string(text) + "\n");
}

// A folder whose name is longer than the system takes could be neither opened nor made
// current; the steps would only say that a file is missing or unreadable.
bool tooLong(Console& console, std::string_view what, const std::string& dir) {
#ifdef _WIN32
    constexpr std::string_view unit = " 文字";
#else
    constexpr std::string_view unit = " バイト";
#endif
    const std::size_t length = runtime::pathLength(dir);
    if (length <= runtime::kDirectoryLimit) return false;
    diagnose(console, std::string(what) + "のパスが長すぎます（" + std::to_string(length) +
                          std::string(unit) + "、このシステムの上限は " +
                          std::to_string(runtime::kDirectoryLimit) + std::string(unit) +
                          "）: " + dir);
    return true;
}

int run(const Options& options, runtime::System& system, Console& console) {
    update::Session session;
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
    if (tooLong(console, "データフォルダ", session.DATA_DIR)) return kExitUsage;

    std::optional<DryRunSystem> dryRun;
    if (options.dryRun) dryRun.emplace(system);
    runtime::System& used = dryRun ? static_cast<runtime::System&>(*dryRun) : system;

    ConsoleUserInterface ui(console, session.STOP_FLG);
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
    console.out(summary(report, options.dryRun));
    if (report.completed) console.out(std::string(update::kCompletionText) + "\n");
    // A stop that came after the final save changes nothing: the run is complete.
    const int signal = report.completed ? 0 : console.interrupted();
    if (signal != 0) {
        diagnose(console, "中断しました");
        return kExitInterrupted + signal;
    }
    // A pass that could not load or save has told the user why; the run still failed.
    const bool allSaved = std::ranges::all_of(
        report.passes, [](const update::PassReport& p) { return p.merged && p.saved; });
    return report.completed && allSaved ? kExitOk : kExitFailed;
}

}  // namespace

// What each pass did to KUBUN.KMT, and what the file holds at the end: a fill that was not
// saved is not reported as done.
std::string summary(const update::RunReport& report, bool dryRun) {
    std::string text;
    for (const update::PassReport& pass : report.passes) {
        const std::string filled = std::to_string(pass.filled);
        // The file that was read, which may be the stand-in KUBUN.KMT of the start folder.
        text += pass.fileRead.empty() ? pass.referenceFile
                                      : pass.fileRead + "（" + pass.referenceFile + " の代わり）";
        text += ": ";
        if (!pass.merged)
            text += "読み込めなかったため処理していません\n";
        else if (!pass.saveReached)
            text += "中断したため保存していません（分類を設定できた区分 " + filled + " 件）\n";
        else if (!pass.saved)
            text += std::string(dryRun ? "保存できないため" : "保存に失敗したため") +
                    "分類を設定していません（設定できた区分 " + filled + " 件）\n";
        else if (dryRun)
            text += "分類を設定する区分 " + filled + " 件（--dry-run のため保存していません）\n";
        else
            text += "分類を設定した区分 " + filled + " 件\n";
    }
    if (report.stillEmpty >= 0)
        text += "分類が空のままの区分: " + std::to_string(report.stillEmpty) + " 件\n";
    return text;
}

int runCli(const std::vector<std::string>& args, runtime::System& system, Console& console) {
    try {
        Options options = parseArguments(args);
        if (options.help) {
            console.out(usageText());
            return kExitOk;
        }
        if (options.undo) return runUndo(options, system, console);
        return run(options, system, console);
    } catch (const UsageError& e) {
        diagnose(console, e.what());
        diagnose(console, "使い方は kbnset-cli --help で表示します");
        return kExitUsage;
    } catch (const std::exception& e) {
        diagnose(console, e.what());
        return kExitFailed;
    }
}

}  // namespace kbnset::cli
