#include "update/undo.hpp"

#include <charconv>
#include <cstdio>
#include <memory>
#include <utility>

#include "category/load.hpp"
#include "runtime/error.hpp"

namespace kbnset::update {

namespace {

constexpr std::size_t kRecordLimit = 4096;

std::string fingerprintText(const category::Fingerprint& f) {
    char text[64] = {};
    std::snprintf(text, sizeof text, "%llu,%016llx%016llx", static_cast<unsigned long long>(f.size),
                  static_cast<unsigned long long>(f.high), static_cast<unsigned long long>(f.low));
    return text;
}

bool parseNumber(std::string_view text, std::uint64_t& value, int base) {
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && error == std::errc() && at == end;
}

std::optional<category::Fingerprint> parseFingerprint(std::string_view text) {
    const std::size_t comma = text.find(',');
    category::Fingerprint f;
    if (comma == std::string_view::npos || text.size() - comma - 1 != 32 ||
        !parseNumber(text.substr(0, comma), f.size, 10) ||
        !parseNumber(text.substr(comma + 1, 16), f.high, 16) ||
        !parseNumber(text.substr(comma + 17), f.low, 16))
        return std::nullopt;
    return f;
}

// The fingerprint of a file's bytes; nullopt when there is no such file.
std::optional<category::Fingerprint> fingerprintOf(runtime::System& system,
                                                   const std::string& path) {
    if (!system.isOrdinaryFile(path)) return std::nullopt;
    std::unique_ptr<runtime::InputFile> file = system.openRead(path);
    category::FingerprintBuilder builder;
    char chunk[16 * 1024];
    while (std::size_t n = file->read(chunk, sizeof chunk)) builder.add(chunk, n);
    return builder.result();
}

std::optional<UndoRecord> readRecord(runtime::System& system, const std::string& path) {
    const std::string name = path + kRecordSuffix;
    if (!system.isOrdinaryFile(name)) return std::nullopt;
    const std::optional<std::string> text = runtime::readSmall(system, name, kRecordLimit);
    return text ? parseRecord(*text) : std::nullopt;
}

// Any older record goes; none must appear meanwhile, since the run holds the lock.
void writeRecord(runtime::System& system, const std::string& path, const UndoRecord& record) {
    runtime::writeWhole(system, path + kRecordSuffix, recordText(record));
}

UndoRecord swapped(UndoRecord record) {
    std::swap(record.current, record.kept);
    record.undone = !record.undone;
    return record;
}

}  // namespace

std::string recordText(const UndoRecord& record) {
    return "[kbnset-undo]\r\ntime=" + record.time +
           "\r\nstate=" + (record.undone ? "undone" : "saved") +
           "\r\ncurrent=" + fingerprintText(record.current) +
           "\r\nkept=" + fingerprintText(record.kept) + "\r\n";
}

std::optional<UndoRecord> parseRecord(std::string_view text) {
    UndoRecord record;
    bool seen[4] = {};
    bool header = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty()) continue;
        if (line == "[kbnset-undo]") {
            header = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!header || equals == std::string_view::npos) return std::nullopt;
        const std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "time" && !value.empty()) {
            record.time = value;
            seen[0] = true;
        } else if (key == "state" && (value == "saved" || value == "undone")) {
            record.undone = value == "undone";
            seen[1] = true;
        } else if (key == "current" || key == "kept") {
            const auto f = parseFingerprint(value);
            if (!f) return std::nullopt;
            (key == "current" ? record.current : record.kept) = *f;
            seen[key == "current" ? 2 : 3] = true;
        } else {
            return std::nullopt;
        }
    }
    for (bool s : seen)
        if (!s) return std::nullopt;
    return record;
}

RunKeeper::RunKeeper(runtime::System& system, std::string time)
    : system_(system), time_(std::move(time)) {}

category::Keeping RunKeeper::forSave(const std::string& path) const {
    category::Keeping keeping;
    if (!kept_) keeping.backup = path + kKeptSuffix;
    return keeping;
}

void RunKeeper::saved(const category::LoadedFile& was, const category::Keeping& keeping) {
    if (keeping.kept) {
        record_ = UndoRecord{time_, false, keeping.written, was.content};
        kept_ = true;
    } else if (kept_) {
        record_.current = keeping.written;
    } else {
        return;
    }
    try {
        writeRecord(system_, was.path, record_);
    } catch (const std::exception&) {
        system_.removeFile(was.path + kRecordSuffix);
    }
}

std::string categoryPath(runtime::System& system, const std::string& DATA_DIR) {
    category::switchTo(system, DATA_DIR);
    return system.resolve(category::kCategoryFile);
}

UndoOutcome examineUndo(runtime::System& system, const std::string& path) {
    UndoOutcome outcome;
    try {
        const std::optional<UndoRecord> record = readRecord(system, path);
        const std::string kept = path + kKeptSuffix;
        if (!record || !system.isOrdinaryFile(kept)) return outcome;
        outcome.record = *record;
        if (fingerprintOf(system, path) != record->current)
            outcome.status = UndoStatus::changed;
        else if (fingerprintOf(system, kept) != record->kept)
            outcome.status = UndoStatus::keptChanged;
        else
            outcome.status = UndoStatus::ready;
    } catch (const std::exception&) {
        outcome.status = UndoStatus::failed;
        outcome.cause = std::current_exception();
    }
    return outcome;
}

// Another program may write either file between the look and the swap: what the swap moved is
// looked at again, and swapped back unless it is what the record says.
UndoOutcome undo(runtime::System& system, const std::string& path) {
    UndoOutcome outcome = examineUndo(system, path);
    if (outcome.status != UndoStatus::ready) return outcome;
    const std::string kept = path + kKeptSuffix;
    const UndoRecord after = swapped(outcome.record);
    try {
        system.exchange(path, kept);
    } catch (const std::exception&) {
        outcome.status = UndoStatus::failed;
        outcome.cause = std::current_exception();
        return outcome;
    }
    try {
        if (fingerprintOf(system, path) != after.current ||
            fingerprintOf(system, kept) != after.kept)
            outcome.status = UndoStatus::changed;
        else
            writeRecord(system, path, after);
    } catch (const std::exception&) {
        outcome.status = UndoStatus::failed;
        outcome.cause = std::current_exception();
    }
    if (outcome.status != UndoStatus::ready) {
        try {
            system.exchange(path, kept);
        } catch (const std::exception&) {
            // Both files are still there, under swapped names; the record says which is which.
        }
        return outcome;
    }
    outcome.status = UndoStatus::done;
    outcome.record = after;
    return outcome;
}

std::string undoQuestion(const std::string& path, const UndoRecord& record) {
    return "備品区分ファイル\n" + path + "\nを " + record.time +
           (record.undone ? " の実行の後に戻します（元に戻したのを取り消します）。"
                          : " の実行の前に戻します。") +
           "\nよろしいですか？";
}

std::string undoDoneText(const UndoRecord& after) {
    return "備品区分ファイルを " + after.time +
           (after.undone ? " の実行の前に戻しました" : " の実行の後に戻しました");
}

std::string undoRefusal(UndoStatus status) {
    switch (status) {
        case UndoStatus::nothing:
            return "元に戻せる実行が有りません";
        case UndoStatus::changed:
            return "備品区分ファイルが前回の備品区分機能設定の後に変更されているため、元に戻せませ"
                   "ん";
        case UndoStatus::keptChanged:
            return "元に戻すための控えが変更されているため、元に戻せません";
        case UndoStatus::failed:
            return "備品区分ファイルを元に戻せませんでした";
        case UndoStatus::ready:
        case UndoStatus::done:
            break;
    }
    return {};
}

}  // namespace kbnset::update
