#include "cli/options.hpp"

#include <algorithm>

namespace kbnset::cli {

namespace {

constexpr std::string_view kUsage =
    "使い方: kbnset-cli [--data-dir DIR] [--start-dir DIR] [--source FILE] [--dry-run]\n"
    "        kbnset-cli --undo [--data-dir DIR] [--dry-run]\n"
    "\n"
    "備品区分ファイル KUBUN.KMT の空の分類を、基準ファイルの同じ区分の分類で埋めます。\n"
    "基準ファイルは E_KUBUN.KMT、次に J_KUBUN.KMT の順に使います。\n"
    "\n"
    "  --data-dir DIR   KUBUN.KMT のあるデータフォルダ。省略すると R-ZORVEL (または ZORVEL)\n"
    "                   の SCHOOL / DIR_ME と、そこにある ZORVEL.SEW から探します。\n"
    "  --start-dir DIR  基準ファイルを探すフォルダ。省略すると現在のフォルダ。\n"
    "  --source FILE    この基準ファイルだけで 1 回処理します。相対パスは --start-dir から。\n"
    "  --dry-run        何も書き込まず、埋められる分類の数だけを表示します。\n"
    "  --undo           KUBUN.KMT を前回の実行の前に戻します。もう一度で元に戻したのを\n"
    "                   取り消します。その後に KUBUN.KMT が変更されていれば戻しません。\n"
    "  --help           この説明を表示します。\n"
    "\n"
    "終了コード: 0 正常終了、1 メッセージが出た、2 引数の誤り、データフォルダなし\n"
    "            またはフォルダのパスが長すぎる、130 Ctrl+C で中断\n";

bool isHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

// The value of `--name=value` or `--name value`; `i` moves past what was taken.
std::string takeValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name) {
    const std::string& arg = args[i];
    std::string value;
    if (arg.size() > name.size()) {
        value = arg.substr(name.size() + 1);
    } else {
        if (i + 1 >= args.size()) throw UsageError(std::string(name) + " には値が必要です");
        value = args[++i];
    }
    // An empty value would silently mean "not given" further on.
    if (value.empty()) throw UsageError(std::string(name) + " の値が空です");
    return value;
}

bool names(const std::string& arg, std::string_view name) {
    return arg == name ||
           (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=');
}

}  // namespace

Options parseArguments(const std::vector<std::string>& args) {
    Options options;
    if (std::any_of(args.begin(), args.end(), isHelp)) {
        options.help = true;
        return options;
    }
    bool sourceGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto once = [&](bool given, std::string_view name) {
            if (given) throw UsageError(std::string(name) + " が二回指定されています");
        };
        if (names(arg, "--data-dir")) {
            once(options.dataDir.has_value(), "--data-dir");
            options.dataDir = takeValue(args, i, "--data-dir");
        } else if (names(arg, "--start-dir")) {
            once(options.startDir.has_value(), "--start-dir");
            options.startDir = takeValue(args, i, "--start-dir");
        } else if (names(arg, "--source")) {
            once(sourceGiven, "--source");
            options.source = takeValue(args, i, "--source");
            sourceGiven = true;
        } else if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "--undo") {
            options.undo = true;
        } else if (arg.starts_with("-")) {
            throw UsageError("不明なオプションです: " + arg);
        } else {
            throw UsageError("余分な引数です: " + arg);
        }
    }
    if (options.undo && sourceGiven) throw UsageError("--undo と --source は一緒に指定できません");
    return options;
}

std::string_view usageText() {
    return kUsage;
}

}  // namespace kbnset::cli
