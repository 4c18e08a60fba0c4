#include "cli/options.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

#include "runtime/console.hpp"

#ifndef KBNSET_VERSION
#error "KBNSET_VERSION comes from the build: the version of project()"
#endif

namespace kbnset::cli {

namespace {

constexpr std::string_view kUsageHead =
    "使い方: kbnset-cli [--data-dir DIR] [--start-dir DIR] [--source FILE] [-n] [--no-wait]\n"
    "                   [--report FILE | --report-append FILE]\n"
    "        kbnset-cli --undo [--data-dir DIR] [-n] [--no-wait]\n"
    "\n"
    "備品区分ファイル KUBUN.KMT の空の分類を、基準ファイルの同じ区分の分類で埋めます。\n"
    "基準ファイルは E_KUBUN.KMT、次に J_KUBUN.KMT の順に使います。\n"
    "\n"
    "  --data-dir DIR   KUBUN.KMT のあるデータフォルダ。省略すると\n";

constexpr std::string_view kUsageTail =
    "                   そのフォルダにある ZORVEL.SEW の指すフォルダを使います。\n"
    "  --start-dir DIR  基準ファイルを探すフォルダ。省略すると現在のフォルダ。\n"
    "  --source FILE    この基準ファイルだけで 1 回処理します。相対パスは --start-dir から。\n"
    "                   無いファイルは引数の誤りです。\n"
    "  -n, --dry-run    何も書き込まず、設定する分類と直す区分コードの数を表示します。\n"
    "  --no-wait        他の備品区分機能設定がデータフォルダを使っていれば、待たずに\n"
    "                   終了コード 1 で終わります。\n"
    "  --report FILE    変更した値と分類が空のままの区分を CSV (UTF-8、BOM 付き) で\n"
    "                   FILE に書きます (FILE は作り直します)。- は標準出力で、そのとき\n"
    "                   結果の表示は標準エラー出力に出ます。--dry-run では変更する値を書きます。\n"
    "  --report-append FILE\n"
    "                   --report と同じ行を FILE の末尾に足します。見出しの行は FILE が\n"
    "                   無いか空のときだけ書くので、複数の学校を一つの表にまとめられます。\n"
    "                   同時に実行しても行は混ざりません。\n"
    "  --undo           KUBUN.KMT を前回の実行の前に戻します。もう一度で元に戻したのを\n"
    "                   取り消します。その後に KUBUN.KMT が変更されていれば戻しません。\n"
    "  --version        版数を表示します。\n"
    "  -h, --help       この説明を表示します。\n"
    "\n"
    "終了コード:\n"
    "  0    正常終了\n"
    "  1    メッセージが出た、他の実行がデータフォルダを使っていた (--no-wait)、\n"
    "       標準出力か報告ファイルに書き込めなかった、元に戻せなかった (--undo)、\n"
    "       --dry-run で保存できるか確かめられないファイルがあった\n"
    "  2    引数の誤り、データフォルダ・--start-dir・--source が無い、パスが長すぎる\n"
    "";

enum class Kind { flag, value };

struct OptionRule {
    std::string_view name;
    std::string_view shortName;  // empty when none
    Kind kind;
};

constexpr std::array kOptionRules{
    OptionRule{"--data-dir", "", Kind::value},      OptionRule{"--start-dir", "", Kind::value},
    OptionRule{"--source", "", Kind::value},        OptionRule{"--dry-run", "-n", Kind::flag},
    OptionRule{"--no-wait", "", Kind::flag},        OptionRule{"--report", "", Kind::value},
    OptionRule{"--report-append", "", Kind::value}, OptionRule{"--undo", "", Kind::flag},
    OptionRule{"--version", "", Kind::flag},        OptionRule{"--help", "-h", Kind::flag},
};

// Edits (insert, delete, replace, swap of neighbours) between two short texts.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

[[noreturn]] void unknown(const std::string& arg) {
    const std::string_view name = std::string_view(arg).substr(0, arg.find('='));
    const OptionRule* nearest = nullptr;
    std::size_t best = 3;  // more than two edits away is no typing slip
    for (const OptionRule& rule : kOptionRules) {
        if (name == rule.name) throw UsageError(std::string(name) + " は値を取りません");
        const std::size_t d = distance(name, rule.name);
        if (d < best) best = d, nearest = &rule;
    }
    std::string text = "不明なオプションです: " + arg;
    if (nearest != nullptr) text += "（" + std::string(nearest->name) + " のことですか）";
    throw UsageError(text);
}

const OptionRule* find(const std::string& arg) {
    for (const OptionRule& rule : kOptionRules) {
        if (arg == rule.name || (!rule.shortName.empty() && arg == rule.shortName)) return &rule;
        if (rule.kind == Kind::value && arg.starts_with(rule.name) &&
            arg.size() > rule.name.size() && arg[rule.name.size()] == '=')
            return &rule;
    }
    return nullptr;
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

void setOnce(std::optional<std::string>& slot, std::string value, std::string_view name) {
    if (slot) throw UsageError(std::string(name) + " が二回指定されています");
    slot = std::move(value);
}

}  // namespace

Options parseArguments(const std::vector<std::string>& args) {
    Options options;
    auto is = [&](std::string_view wanted) {
        return std::ranges::any_of(args, [&](const std::string& a) {
            const OptionRule* rule = find(a);
            return rule != nullptr && rule->name == wanted;
        });
    };
    if (is("--help")) {
        options.help = true;
        return options;
    }
    if (is("--version")) {
        options.version = true;
        return options;
    }
    std::optional<std::string> source;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const OptionRule* rule = find(arg);
        if (rule == nullptr) {
            if (arg.starts_with("-") && arg != "-") unknown(arg);
            throw UsageError("余分な引数です: " + arg);
        }
        const std::string_view name = rule->name;
        if (rule->kind == Kind::flag) {
            if (name == "--dry-run") options.dryRun = true;
            if (name == "--no-wait") options.noWait = true;
            if (name == "--undo") options.undo = true;
            continue;
        }
        std::string value = takeValue(args, i, name);
        if (name == "--data-dir") {
            setOnce(options.dataDir, std::move(value), name);
        } else if (name == "--start-dir") {
            setOnce(options.startDir, std::move(value), name);
        } else if (name == "--source") {
            setOnce(source, std::move(value), name);
        } else {  // --report, --report-append
            setOnce(options.report, std::move(value), "--report");
            options.reportAppend = name == "--report-append";
        }
    }
    if (options.undo && (source || options.report))
        throw UsageError("--undo は --source、--report と一緒に指定できません");
    options.source = source.value_or("");
    return options;
}

std::string usageText() {
    return std::string(kUsageHead) + std::string(runtime::settingsPlaceHelp()) +
           std::string(kUsageTail) + std::string(runtime::stopStatusHelp());
}

}  // namespace kbnset::cli
